// encodeURI, encodeURIComponent, decodeURI and decodeURIComponent: percent
// coding of a String's bytes, one byte at a time. Decoding does not check
// that the bytes it restores form UTF-8.
#pragma once

namespace tolv {

void install_uri_coding();

}  // namespace tolv
