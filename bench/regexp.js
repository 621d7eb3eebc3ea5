// Regular expressions: e-mail addresses and dates validated over a list, a
// text tokenized with exec in a loop, and every number in a large text
// replaced (split on the pattern and joined again, which every engine here
// reads the same way; replace takes the first match only in this language).
function main() {
    var names = ["ann", "bob.smith", "c_d", "x-y", "zed99"];
    var hosts = ["example.com", "mail.example.org", "bad host", "a.b.c.jp", "localhost"];
    var emails = new Array();
    var dates = new Array();
    for (var i = 0; i < 20000; i++) {
        emails.push(names[i % 5] + "@" + hosts[i % 7 % 5]);
        dates.push("" + (1990 + i % 40) + "-" + (i % 13 + 1) + "-" + (i % 32 + 1));
    }
    var email = /^[\w.-]+@[\w-]+(?:\.[\w-]+)+$/;
    var date = /^(\d{4})-(0?[1-9]|1[0-2])-(0?[1-9]|[12]\d|3[01])$/;
    var valid = 0;
    for (var round = 0; round < 10; round++) {
        for (var j = 0; j < 20000; j++) {
            if (email.test(emails[j])) valid++;
            if (date.test(dates[j])) valid++;
        }
    }

    var text = "";
    for (var k = 0; k < 4000; k++) text += "let x" + k + " = (y + " + k * 3 + ") * 2.5; ";
    var token = /\s*(?:(\d+(?:\.\d+)?)|([A-Za-z_]\w*)|(\S))/g;
    var numbers = 0;
    var words = 0;
    var marks = 0;
    for (var pass = 0; pass < 6; pass++) {
        token.lastIndex = 0;
        var m;
        while ((m = token.exec(text)) != null) {
            if (m[1]) numbers++;
            else if (m[2]) words++;
            else marks++;
        }
    }

    var big = text + text + text + text;
    var replaced = "";
    for (var twice = 0; twice < 2; twice++) replaced = big.split(/\d+(?:\.\d+)?/).join("#");
    console.log("regexp " + valid + " " + numbers + " " + words + " " + marks + " " + replaced.length);
}
