// Requests that try to leave something behind for the next one, or that never end.
var DRIVER_FILES = "libmongoc-1.0.so.0;libbson-1.0.so.0";
var loaded = 0;

function hello() { sendToFront("greeting", "hello"); }

// Module state, INCLUDE state and a global made by assignment.
function bump() {
    loaded++;
    visits++;
    console.log("bump " + visits);
    sendToFront("counts", [loaded, visits]);
}
function leave_global() { stray = "from an earlier request"; console.log("left " + stray); sendToFront("left", 1); }
function read_global() { sendToFront("stray", stray); }

// A connection opened and never closed, then a request that counts through its own.
function open_and_leave() {
    var db = openDb(0, DRIVER_FILES, probe_db);
    mongo_insert(db, 'marks', {mark: 1});
    sendToFront("opened", 1);
}
function count_marks() {
    var db = openDb(0, DRIVER_FILES, probe_db);
    var n = mongo_count(db, 'marks', {});
    closeDb(db);
    sendToFront("marks", n);
}

function wait(ms) {
    var end = new Date().getTime() + ms;
    while (new Date().getTime() < end) {}
    sendToFront("waited", ms);
}
function hang() { while (true) {} }
function hog() {
    var a = [];
    var i = 0;
    while (true) { i++; a.push("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx" + i); }
}
