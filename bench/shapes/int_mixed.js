// Integer arithmetic on locals with %, &, ^, * and plain assignment, the
// result of one step feeding the next.
function main() {
    var s = 0;
    var t = 1;
    var u = 0;
    for (var i = 0; i < 6000000; i++) {
        s = (s + (i * 7) % 13) % 1000003;
        t = ((t * 31) + (i & 255)) % 65521;
        u = ((u ^ (i & 1023)) + (s & 15)) & 65535;
    }
    console.log("int_mixed " + s + " " + t + " " + u);
}
