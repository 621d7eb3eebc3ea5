// A first application: greets the caller and counts to three.
function main(name) {
    var numbers = [];
    for (var i = 1; i <= 3; i++) {
        numbers[i - 1] = i;
    }
    console.log(`main called for ${name}`);
    sendToFront("greeting", `Hello, ${name}!`);
    sendToFront("numbers", numbers);
}
