// Signing in, and what a signed-in client may do afterwards.
function login(name, pw) {
    if (pw != "open sesame") throw "wrong password";
    sendToFront("user", name);
}

function whoami(name) {
    sendToFront("user", name);
}

function broken() {
    var parts = "a,b".split(",");
    return parts[0].noSuchMethod();
}

function connect(uri) {
    var c = openDb(0, "libmongoc-1.0.so.0;libbson-1.0.so.0", uri);
    mongo_find(c, "users");
}
