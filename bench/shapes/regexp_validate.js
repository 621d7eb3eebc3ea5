// Validating form fields with regular expressions: postcodes, phone
// numbers, user names, times and amounts, each checked with test.
function main() {
    var postcode = /^\d{4}$/;
    var phone = /^(?:\+47 ?)?[49]\d{7}$/;
    var user = /^[a-z][a-z0-9_]{2,15}$/;
    var time = /^([01]\d|2[0-3]):[0-5]\d$/;
    var amount = /^\d{1,6}(?:\.\d\d)?$/;
    var codes = ["0150", "5003", "123", "90211", "7010", "abcd"];
    var phones = ["+47 41234567", "91234567", "+4781234567", "4123456", "+47 912345678", "+4791234567"];
    var names = ["ola_n", "Kari", "x1", "per_hansen_the_third", "anne99", "_bad"];
    var times = ["09:30", "23:59", "24:00", "7:15", "12:60", "00:00"];
    var amounts = ["12.50", "100", "1234567", "3.5", "999999.99", "0.00"];
    var valid = 0;
    var invalid = 0;
    for (var i = 0; i < 360000; i++) {
        var k = i % 6;
        var m = (i >> 1) % 6;
        if (postcode.test(codes[k])) valid++; else invalid++;
        if (phone.test(phones[m])) valid++; else invalid++;
        if (user.test(names[k])) valid++; else invalid++;
        if (time.test(times[m])) valid++; else invalid++;
        if (amount.test(amounts[(k + m) % 6])) valid++; else invalid++;
    }
    console.log("regexp_validate " + valid + " " + invalid);
}
