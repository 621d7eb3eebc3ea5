// Included by TOLV.config: loaded once by the FastCGI server, before any
// request forks from it.
var visits = 0;
