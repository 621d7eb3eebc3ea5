// The same loop run on module globals and on a function's locals.
var gSum = 0;
var gStep = 0;
var gLimit = 0;

function onGlobals() {
    gSum = 0;
    gLimit = 1500000;
    for (gStep = 0; gStep < gLimit; gStep++) {
        gSum = (gSum + (gStep % 11)) % 1000003;
    }
    return gSum;
}

function onLocals() {
    var sum = 0;
    var limit = 4500000;
    for (var step = 0; step < limit; step++) {
        sum = (sum + (step % 11)) % 1000003;
    }
    return sum;
}

function main() {
    var a = onGlobals();
    var b = onLocals();
    console.log("globals_locals " + a + " " + b);
}
