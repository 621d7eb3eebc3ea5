for (let i = 0; i < 3; i++) { if (i % 2) continue; else x += i; }
for (const k in h) { s = `${k}:${h[k]}`; }
while (a) { a--; } do { b++; } while (b < 9);