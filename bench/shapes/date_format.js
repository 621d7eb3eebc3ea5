// Formatting dates: each day of a span written as a date, a time and a
// weekday with zero padding, from Dates made by the constructor and by
// setDate.
function pad2(n) {
    if (n < 10) return "0" + n;
    return "" + n;
}

function formatDate(d) {
    return d.getFullYear() + "-" + pad2(d.getMonth() + 1) + "-" + pad2(d.getDate());
}

function formatTime(d) {
    return pad2(d.getHours()) + ":" + pad2(d.getMinutes()) + ":" + pad2(d.getSeconds());
}

function main() {
    var weekdays = ["Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"];
    var months = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"];
    var length = 0;
    var check = 0;
    for (var i = 0; i < 160000; i++) {
        var d = new Date(2000 + (i % 30), i % 12, (i % 28) + 1, i % 24, (i * 7) % 60, (i * 13) % 60);
        var text = weekdays[d.getDay()] + ", " + d.getDate() + " " + months[d.getMonth()] + " " +
                   d.getFullYear() + " " + formatTime(d) + " (" + formatDate(d) + ")";
        length = length + text.length;
        check = (check + text.charCodeAt(i % 20)) % 1000003;
    }
    var day = new Date(2020, 0, 1, 12, 0, 0);
    var mondays = 0;
    for (var k = 0; k < 3000; k++) {
        day.setDate(day.getDate() + 1);
        if (day.getDay() == 1) mondays++;
        length = length + formatDate(day).length;
    }
    console.log("date_format " + length + " " + check + " " + mondays + " " + formatDate(day));
}
