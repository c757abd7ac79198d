#pragma once
// zlib as the reference the decoder is compared with, for the unit tests
// and the inflate fuzz target alike; header-only, so that the fuzz target
// takes it without the rest of the test support.
#include <zlib.h>

#include <string>

// Runs `step` (deflate or inflate on `z` with its flush) into 64 KB of room
// at a time, appending what it writes to `out`, for as long as it fills the
// room without ending or failing; gives its last result.
template <class Step>
int ZlibDrain(z_stream& z, std::string& out, Step step) {
    char chunk[65536];
    int result;
    do {
        z.next_out = (Bytef*)chunk;
        z.avail_out = sizeof chunk;
        result = step();
        out.append(chunk, sizeof chunk - z.avail_out);
    } while (z.avail_out == 0 && (result == Z_OK || result == Z_BUF_ERROR));
    return result;
}

// What zlib's raw inflate makes of `stream`; false unless it reaches the
// end of the last block within the stream. Its message, when it stops with
// one, goes to `error`.
inline bool ZlibInflate(const std::string& stream, std::string& output, std::string* error = nullptr) {
    z_stream z = {};
    output.clear();
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = (Bytef*)stream.data();
    z.avail_in = (uInt)stream.size();
    int result = ZlibDrain(z, output, [&] { return inflate(&z, Z_FINISH); });
    if (z.msg && error) *error = z.msg;
    inflateEnd(&z);
    return result == Z_STREAM_END;
}
