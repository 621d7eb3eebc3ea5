// Sorting with script comparators: words by length then text, records by
// two fields with the id breaking ties.
function byLengthThenText(a, b) {
    if (a.length != b.length) return a.length - b.length;
    if (a < b) return -1;
    if (a > b) return 1;
    return 0;
}

function byCityThenScore(a, b) {
    if (a.city < b.city) return -1;
    if (a.city > b.city) return 1;
    if (a.score != b.score) return b.score - a.score;
    return a.id - b.id;
}

function main() {
    var syllables = ["ka", "ro", "mi", "tes", "an", "lu", "ve", "dor"];
    var cities = ["Oslo", "Bergen", "Tromso", "Bodo", "Alta", "Molde"];
    var check = 0;
    for (var round = 0; round < 6; round++) {
        var x = 17 + round;
        var words = [];
        var people = [];
        for (var i = 0; i < 12000; i++) {
            x = ((x * 1103) + 12345) % 65536;
            words.push(syllables[x % 8] + syllables[(x >> 3) % 8] + ((x % 5) == 0 ? syllables[(x >> 6) % 8] : "") + (x % 100));
            people.push({ id: i, city: cities[x % 6], score: (x >> 4) % 1000 });
        }
        words.sort(byLengthThenText);
        people.sort(byCityThenScore);
        for (var j = 0; j < words.length; j += 97) {
            check = (check + (words[j].charCodeAt(1) * (j % 13)) + people[j].id) % 1000003;
        }
        check = (check + words[0].length + people[people.length - 1].score) % 1000003;
    }
    console.log("sort_cmp " + check);
}
