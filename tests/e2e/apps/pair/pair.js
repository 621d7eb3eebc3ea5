// A small application served by two web servers behind a balancer: a sign-in
// that opens the session (TOKEN_OPEN=login) and a write that needs it. Every
// call that gets through records itself in the shared database
// (VAR='pair_db':'mongodb://...').
var DRIVER_FILES = "libmongoc-1.0.so.0;libbson-1.0.so.0";

function login(user, password) {
    if (password !== 'open sesame') {
        throw new Error('wrong password', 401);
    }
    visit(user, 1);
}

function write(user, step) {
    visit(user, step);
}

// One document for each call, with the client's address as the runner saw it.
function visit(user, step) {
    var db = openDb(0, DRIVER_FILES, pair_db);
    mongo_insert(db, 'visits', {user: user, step: step, client: client_ip});
    closeDb(db);
    sendToFront('step', step);
}
