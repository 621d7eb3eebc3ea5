/* block
comment */ x = 0x1F + .5 * 1e3 - 2 ** 3 ** 2; // line
y = a ? b : c ? d : e; z = !typeof q instanceof Foo;
r = mongo_find(c, ["coll", {a: 1}, ["x"]]); n = parseInt("12", 10);