// Every record form the front end receives.
function main() {
    var list = [];
    var tags = ["a b", "x\"y", "日本"];
    var doc = {title: "100% <ok>", tags: tags, empty: list, n: -5, f: 0.5, big: 1e21, yes: true, no: false, nothing: null, nan: NaN};
    sendToFront("doc", doc);
    sendToFront("list", list);
    sendToFront("count", 42);
    sendToFront("ratio", 2.5);
    sendToFront("flag", true);
    sendToFront("missing", undefined);
    var s = "tab\there";
    sendToFront(s);
    sendToFront("s");
    alertToFront("careful");
    alertToFront(new Error("bad thing", 77));
}
