// Dates as a script builds, changes and shows them, and as it sends and
// receives them.
function show() {
  var d = new Date(2024, 6, 1, 12, 30, 15, 250);
  console.log(d, ' ', d.getTime(), ' ', d.getTimezoneOffset(), ' ', d.toString());
  d.setMonth(0);
  console.log(d, ' ', d.getTime(), ' ', d.toTimeString(), ' ', d.getUTCHours());
  var p = new Date('Mon Jan 15 2024 10:30:00 GMT+0900');
  console.log(p, ' ', Date.parse('2024-01-15 10:30:00'), ' ', Date.UTC(2024, 0, 15, 1, 30));
  console.log(new Date(2024, 2, 10, 2, 30), ' ', new Date(2024, 10, 3, 1, 30).getTime());
}

function send() {
  var when = new Date(2024, 0, 15, 10, 30, 0, 250);
  sendToFront('when', when);
  sendToFront('plain', new Date(2024, 6, 1, 9, 5));
  sendToFront('list', [when, new Date(2030, 11, 31, 23, 59, 59)]);
  sendToFront('doc', {at: when, iso: when.toISOString()});
}

// `stamp` and the elements of `rows` are date texts as the front end got them.
function echo(stamp, rows) {
  var d = new Date(stamp);
  sendToFront('stamp', d);
  var back = [];
  for (var i = 0; i < rows.length; i++) back[i] = new Date(rows[i]);
  sendToFront('rows', back);
  sendToFront('hour', d.getHours());
}
