// A request handler: a query string decoded into fields, the fields
// validated, and an answer text built from them.
function decodePart(s) {
    return decodeURIComponent(s.split("+").join(" "));
}

function parseQuery(query) {
    var fields = {};
    var pairs = query.split("&");
    for (var i = 0; i < pairs.length; i++) {
        var eq = pairs[i].indexOf("=");
        if (eq < 0) continue;
        fields[decodePart(pairs[i].substring(0, eq))] = decodePart(pairs[i].substring(eq + 1));
    }
    return fields;
}

function validate(fields, errors) {
    var name = fields["name"];
    if (name === undefined || name.length == 0) errors.push("name missing");
    else if (name.length > 40) errors.push("name too long");
    var email = fields["email"];
    if (email === undefined || !/^[^@ ]+@[^@ ]+\.[a-z]{2,}$/.test(email)) errors.push("email invalid");
    var qty = fields["qty"];
    if (qty === undefined || !/^\d{1,3}$/.test(qty)) errors.push("qty invalid");
    return errors.length == 0;
}

function escapeText(s) {
    return s.split("&").join("&amp;").split("<").join("&lt;").split(">").join("&gt;");
}

function handle(query) {
    var fields = parseQuery(query);
    var errors = [];
    var answer = "Status: ";
    if (validate(fields, errors)) {
        var qty = parseInt(fields["qty"], 10);
        answer += "200 OK\nContent-Type: text/html; charset=utf-8\n\n";
        answer += "<p>Thank you, " + escapeText(fields["name"]) + ".</p>";
        answer += "<p>" + qty + " x " + escapeText(fields["item"]) + " = " + (qty * 125) + " NOK</p>";
        answer += "<p>Receipt to " + escapeText(fields["email"]) + "</p>";
    } else {
        answer += "400 Bad Request\nContent-Type: text/plain\n\n" + errors.join("\n");
    }
    return answer;
}

function main() {
    var queries = [
        "name=Kari+Nordmann&email=kari%40example.no&qty=3&item=Bok+%26+penn",
        "name=Ola&email=ola.example.no&qty=12&item=Kaffe",
        "name=%3Cb%3EPer%3C%2Fb%3E&email=per%40example.com&qty=1&item=Te+%3C100g%3E",
        "email=x%40y.no&qty=abc&item=Brus",
        "name=Anne+Lise+Hansen&email=anne%40post.example.org&qty=250&item=Kaffe%2C+sort%21",
        "name=&email=&qty=&item="
    ];
    var length = 0;
    var ok = 0;
    var check = 0;
    for (var i = 0; i < 54000; i++) {
        var answer = handle(queries[i % 6]);
        length = length + answer.length;
        if (answer.indexOf("200 OK") >= 0) ok++;
        check = (check + answer.charCodeAt((i % 50) + 10)) % 1000003;
    }
    console.log("request " + length + " " + ok + " " + check);
}
