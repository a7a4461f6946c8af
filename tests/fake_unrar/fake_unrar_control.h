#pragma once

// Control calls of the scripted fake UnRAR library, looked up by the tests
// with dlsym on the same loaded file the engine opens.
//
// The script is one instruction a line:
//   version N                  RARGetDllVersion answers N (default 8)
//   open null | open R         no handle, or a handle with OpenResult R
//   comment STATE [TEXT...]    CmtState, and the comment text for state 1
//   close R                    RARCloseArchive answers R
//   pwbuffer N                 password requests hand a buffer of N bytes
//   header R [key=value...]    the next entry: read result R; keys name, arc,
//                              flags, pack, unp (64-bit), host, attr
//   readcall WHAT              a callback made while that header is read
//   call WHAT                  a callback made while the entry is processed
//                              (not when skipped); WHAT is password,
//                              volume NAME, or data
//   process R                  RARProcessFile on that entry answers R
//   failforever R              after the last entry every read answers R
//   pause MS                   every header read takes MS milliseconds
//
// Every library call and every callback answer is logged, one line each.
extern "C" {
using FakeUnRarScriptFn = void (*)(const char* script);
using FakeUnRarLogFn = const char* (*)();
}
