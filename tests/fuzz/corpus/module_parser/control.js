switch (x) { case 1: a = 1; break; case "b": default: b(); }
try { f(); } catch (e) { sendToFront(e.message); } finally { closeDb(c, "commit"); }
throw new Error("m", 5);