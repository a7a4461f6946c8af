#pragma once

#include <optional>
#include <string>

#include "archive/FileState.h"

// The library reads a cut-off archive to its last whole header and then
// reports a normal end. This walk of the block headers tells the two apart.
enum class TArchiveEnd {
    Complete,    // the walk reached the end-of-archive block of a last volume
    CannotTell,  // encrypted headers without the right password, no known
                 // signature, or unreadable file
    Cut,         // the file stops before an end-of-archive block, or a header
                 // is broken, or the end block says another volume follows
};

// Walks the block headers of one archive file (the volume the library read
// last) without reading any entry data.
TArchiveEnd CheckArchiveEnd(const std::string& path);

// The same; `password` (UTF-8, the run's password) opens headers encrypted
// with -hp. Empty, such an archive stays CannotTell, like a wrong one.
TArchiveEnd CheckArchiveEnd(const std::string& path, const std::string& password);

// An end check's answer, with the archive file as it was when it was walked.
struct TKnownEnd {
    TFileState file;
    std::string password;
    TArchiveEnd end = TArchiveEnd::CannotTell;
};

// The same, answered from `known` when it holds this file, unchanged, and
// this password; otherwise walked, and the answer kept in `known`.
TArchiveEnd CheckArchiveEnd(const std::string& path, const std::string& password, std::optional<TKnownEnd>& known);
