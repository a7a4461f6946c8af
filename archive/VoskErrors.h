#pragma once

#include <string>

// Every text the engine reports, kept in one table so that a text and its
// code cannot drift apart between the places that report it.
enum class TVoskText {
    NotLoaded,          // the library did not load
    CannotOpen,         // the library opened no archive
    NoPassword,         // a password was asked for and nobody could answer
    UsedPassword,       // status prefix, followed by the password handed on
    HeaderCorrupt,      // header read 12
    CloseError,         // close 17
    UnexpectedEnd,      // the library ended before the archive's end block
    UnsafeLink,         // prefix, followed by the entry name of a link we skipped
    LinkTargetMissing,  // prefix, followed by the entry name of a link to a file not there (yet)
    NameTooLong,        // prefix, followed by the cut name of an entry we skipped
    LinkInPath,         // prefix, followed by an entry name whose folders run through a link
    BadName,            // prefix, followed by an entry name that names no file
    Result,             // a library result code (comment state, process, header read)
};

// The text for a situation; for TVoskText::Result the text of `code`, or the
// unknown-error text when the library returned a code we have no text for.
const std::string& VoskText(TVoskText situation, int code = 0);

// True when the table holds a text of its own for the result `code`.
bool HasResultText(int code);
