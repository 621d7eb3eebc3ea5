// Every hour of 2024 built from its fields; runs under the runner and under node.
function main() {
  for (var m = 0; m < 12; m++) {
    for (var d = 1; d <= 31; d++) {
      for (var h = 0; h < 24; h++) {
        var t = new Date(2024, m, d, h, 30, 15);
        console.log(m + ' ' + d + ' ' + h + ' ' + t.getTime() + ' ' + t.getDate() + ' ' + t.getHours() + ' ' +
                    t.getTimezoneOffset() + ' ' + t.getUTCHours() + ' ' + t.getUTCDay());
      }
    }
  }
}
