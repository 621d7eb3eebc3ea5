// Searching texts: log lines scanned for words with indexOf and
// lastIndexOf, fields read between separators, and every occurrence of a
// key counted in a page of text.
function field(line, name) {
    var at = line.indexOf(" " + name + "=");
    if (at < 0) return "";
    var from = at + name.length + 2;
    var end = line.indexOf(" ", from);
    if (end < 0) end = line.length;
    return line.substring(from, end);
}

function main() {
    var levels = ["INFO", "WARN", "ERROR", "DEBUG"];
    var lines = [];
    for (var i = 0; i < 2000; i++) {
        lines.push("2024-05-" + ((i % 28) + 10) + " " + levels[i % 4] + " user=u" + (i % 50) +
                   " path=/shop/item/" + (i % 300) + " status=" + (200 + ((i % 3) * 100)) + " took=" + (i % 97) + "ms");
    }
    var page = lines.slice(0, 40).join("\n");
    var errors = 0;
    var slow = 0;
    var users = 0;
    var paths = 0;
    for (var round = 0; round < 108; round++) {
        for (var j = 0; j < lines.length; j++) {
            var line = lines[j];
            if (line.indexOf("ERROR") > 0) {
                errors++;
                var took = field(line, "took");
                if (took.length > 3 && took.charAt(0) > "5") slow++;
            }
            if (line.lastIndexOf("status=500") > 0) slow++;
            if (field(line, "user") == "u" + (round % 50)) users++;
            var path = field(line, "path");
            if (path.lastIndexOf("/") == 10) paths = paths + path.length;
        }
        var key = "user=u" + (round % 10);
        var from = page.indexOf(key);
        while (from >= 0) {
            users++;
            from = page.indexOf(key, from + key.length);
        }
    }
    console.log("string_find " + errors + " " + slow + " " + users + " " + paths);
}
