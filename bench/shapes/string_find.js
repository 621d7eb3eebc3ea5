// Searching texts: finding every occurrence of several words in a log
// with indexOf, checking prefixes with lastIndexOf and reading fields
// between separators.
function main() {
    var levels = ["INFO", "WARN", "ERROR", "DEBUG"];
    var lines = [];
    for (var i = 0; i < 2000; i++) {
        lines.push("2024-05-" + ((i % 28) + 10) + " " + levels[i % 4] + " user=u" + (i % 50) +
                   " path=/shop/item/" + (i % 300) + " status=" + (200 + ((i % 3) * 100)) + " took=" + (i % 97) + "ms");
    }
    var log = lines.join("\n");
    var errors = 0;
    var slow = 0;
    var users = 0;
    for (var round = 0; round < 6; round++) {
        var at = log.indexOf("ERROR", 0);
        while (at >= 0) {
            errors++;
            var end = log.indexOf("\n", at);
            if (end < 0) end = log.length;
            var took = log.indexOf("took=", at);
            var ms = log.substring(took + 5, log.indexOf("ms", took));
            if (ms.length > 1 && ms.charAt(0) > "5") slow++;
            at = log.indexOf("ERROR", end);
        }
        for (var u = 0; u < 50; u += 5) {
            var key = "user=u" + u + " ";
            var from = log.indexOf(key);
            while (from >= 0) {
                users++;
                from = log.indexOf(key, from + key.length);
            }
        }
        for (var j = 0; j < lines.length; j += 7) {
            var line = lines[j];
            if (line.lastIndexOf("status=500") > 0) users++;
            var p = line.indexOf("path=");
            var path = line.substring(p + 5, line.indexOf(" ", p));
            if (path.lastIndexOf("/") == 11) users = users + 2;
        }
    }
    console.log("string_find " + log.length + " " + errors + " " + slow + " " + users);
}
