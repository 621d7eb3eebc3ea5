// Rendering HTML: a table of rows with escaped cell texts, built with +=
// and joined.
function escapeHtml(s) {
    var out = "";
    for (var i = 0; i < s.length; i++) {
        var c = s.charAt(i);
        if (c == "&") out += "&amp;";
        else if (c == "<") out += "&lt;";
        else if (c == ">") out += "&gt;";
        else if (c == "\"") out += "&quot;";
        else out += c;
    }
    return out;
}

function renderRow(row, odd) {
    var html = "<tr class=\"" + (odd ? "odd" : "even") + "\">";
    html += "<td>" + row.id + "</td>";
    html += "<td>" + escapeHtml(row.name) + "</td>";
    html += "<td class=\"num\">" + row.price + "</td>";
    html += "<td><a href=\"/item?id=" + row.id + "&amp;ref=list\">" + escapeHtml(row.note) + "</a></td>";
    return html + "</tr>\n";
}

function main() {
    var rows = [];
    for (var i = 0; i < 300; i++) {
        rows.push({ id: i, name: "Item <" + i + "> & co", price: (i * 37) % 1000, note: "size \"" + (i % 7) + "\"" });
    }
    var total = 0;
    var check = 0;
    for (var round = 0; round < 240; round++) {
        var parts = [];
        parts.push("<table>\n<tr><th>id</th><th>name</th><th>price</th><th>note</th></tr>\n");
        for (var j = 0; j < rows.length; j++) {
            parts.push(renderRow(rows[j], (j % 2) == 1));
        }
        parts.push("</table>\n");
        var page = parts.join("");
        total = total + page.length;
        check = (check + page.charCodeAt((round * 101) % page.length)) % 1000003;
    }
    console.log("html " + total + " " + check);
}
