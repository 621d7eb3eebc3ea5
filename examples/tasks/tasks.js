// A team's task list kept in MongoDB, for the page in public/.
// TOLV.config names the database and the team's password, and opens the
// session with login():
//   VAR='tasks_db':'mongodb://127.0.0.1/tasks'
//   VAR='team_password':'...'
//   TOKEN_OPEN=login
// The token proves that a browser signed in; it does not say who signed in,
// so the list is the team's, not one person's.
var DRIVER_FILES = "libmongoc-1.0.so.0;libbson-1.0.so.0";
var MAX_TEXT = 120;   // characters

// Sign-in: a wrong password throws, so the answer carries no token.
function login(name, pw) {
    if (typeof name !== "string" || name.trim() === "" || typeof pw !== "string" || pw !== team_password) {
        throw "wrong name or password";
    }
    sendToFront("user", name.trim());
    show_tasks();
}

// The list and the per-day counts, sent with every answer that changes them.
function show_tasks() {
    var db = openDb(0, DRIVER_FILES, tasks_db);
    var found = mongo_find_hash(db, ['tasks', {}, ['_id', 'text', 'done', 'created'], {sort: {created: 1}}]);
    var list = [];
    for (var task of found) {
        // Milliseconds since 1970 (UTC): the page shows them in its own zone.
        list.push({id: task._id, text: task.text, done: task.done, created: task.created.getTime()});
    }
    sendToFront("tasks", list);
    // One row per day: [day, "", [tasks added, tasks done]]; a boolean sums as 1 or 0.
    sendToFront("per_day", mongo_aggregate(db, 'tasks', {key: 'day', count: 1, sum: 'done'}));
    closeDb(db);
}

// `day` is the page's own calendar day ("2026-12-10"), so that the count per
// day follows the user's clock and zone.
function add_task(text, day) {
    if (typeof text !== "string" || text.trim() === "") {
        alertToFront("Write what is to be done first.");
        return;
    }
    text = text.trim();
    if (text.substring(MAX_TEXT) !== "") {
        alertToFront("A task is at most " + MAX_TEXT + " characters long.");
        return;
    }
    if (typeof day !== "string" || !/^[0-9]{4}-[0-9]{2}-[0-9]{2}$/.test(day)) {
        alertToFront("The page sent no day.");
        return;
    }
    var db = openDb(0, DRIVER_FILES, tasks_db);
    mongo_insert(db, 'tasks', {text: text, done: false, created: new Date(), day: day});
    closeDb(db);
    show_tasks();
}

// Ids travel as the ObjectId's 24 hexadecimal digits and are addressed as {'$oid': id}.
function task_filter(id) {
    if (typeof id !== "string" || !/^[0-9a-f]{24}$/.test(id)) {
        throw new Error("no such task", 404);
    }
    return {_id: {'$oid': id}};
}

function mark_done(id) {
    var filter = task_filter(id);
    var db = openDb(0, DRIVER_FILES, tasks_db);
    var changed = mongo_update_one(db, 'tasks', filter, {'$set': {done: true}});
    closeDb(db);
    if (changed === 0 && !is_done(id)) {
        alertToFront("That task is gone.");
    }
    show_tasks();
}

function is_done(id) {
    var db = openDb(0, DRIVER_FILES, tasks_db);
    var found = mongo_count(db, 'tasks', {_id: {'$oid': id}, done: true});
    closeDb(db);
    return found > 0;
}

function delete_task(id) {
    var filter = task_filter(id);
    var db = openDb(0, DRIVER_FILES, tasks_db);
    var removed = mongo_delete_one(db, 'tasks', filter);
    closeDb(db);
    if (removed === 0) {
        alertToFront("That task is gone.");
    }
    show_tasks();
}
