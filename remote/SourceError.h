// Why the remote source could not serve what was asked; the open job picks its message by it.
#pragma once

enum class SourceError {
    None,
    BadAddress,
    UnsupportedScheme,
    NoResponse, // connection, TLS, time-out or a cut-off transfer
    Cancelled,
    HttpStatus,      // 404, 500 and the like
    RangesNotServed, // the server answers a range request with the whole file
    RangeRefused,    // 416: the range lies outside the file
    BadContentRange, // a 206 that does not start where asked or cannot be read
    EmptyFile,
    TooLarge,    // larger than the source can address
    FileChanged, // another version of the file (length or validator) since it was opened
};
