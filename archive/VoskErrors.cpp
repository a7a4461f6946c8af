#include "archive/VoskErrors.h"

namespace {

struct TTextRow {
    TVoskText situation;
    int code;
    std::string text;
};

const TTextRow& UnknownRow();

const TTextRow TextTable[] = {
    {TVoskText::NotLoaded, 0, "Brambold: UnRar.Dll not loaded!"},
    {TVoskText::CannotOpen, 0, "Brambold: Cannot open archive!"},
    {TVoskText::NoPassword, 0, "Brambold: No Password!"},
    {TVoskText::UsedPassword, 0, "Brambold: Used Password is: "},
    {TVoskText::HeaderCorrupt, 12, "Brambold: File Header corrupted!"},
    {TVoskText::CloseError, 17, "Brambold: Error on close!"},
    {TVoskText::UnexpectedEnd, 0, "Brambold: Unexpected end of archive!"},
    {TVoskText::UnsafeLink, 0, "Brambold: Link leads out of the destination, skipped: "},
    {TVoskText::LinkTargetMissing, 0, "Brambold: Link to a file that is not there yet, skipped: "},
    {TVoskText::NameTooLong, 0, "Brambold: Name too long, skipped: "},
    {TVoskText::LinkInPath, 0, "Brambold: Link in the path, skipped: "},
    {TVoskText::BadName, 0, "Brambold: Invalid name, skipped: "},
    {TVoskText::Result, 11, "Brambold: No memory!"},
    {TVoskText::Result, 12, "Brambold: Corrupted data!"},
    {TVoskText::Result, 13, "Brambold: Corrupted archive!"},
    {TVoskText::Result, 14, "Brambold: Unknown format!"},
    {TVoskText::Result, 15, "Brambold: Volume-Error!"},
    {TVoskText::Result, 16, "Brambold: Error on creating file!"},
    {TVoskText::Result, 17, "Brambold: Error on closing file!"},
    {TVoskText::Result, 18, "Brambold: Read error!"},
    {TVoskText::Result, 19, "Brambold: Write error!"},
    {TVoskText::Result, 20, "Brambold: Buffer to small!"},
    {TVoskText::Result, 21, "Brambold: Unknown error!"},
    {TVoskText::Result, 22, "Brambold: Password missing!"},
    {TVoskText::Result, 23, "Brambold: Reference error!"},
    {TVoskText::Result, 24, "Brambold: Wrong password!"},
};

const TTextRow* Find(TVoskText situation, int code)
{
    for (const TTextRow& row : TextTable)
        if (row.situation == situation && (situation != TVoskText::Result || row.code == code))
            return &row;
    return nullptr;
}

const TTextRow& UnknownRow()
{
    static const TTextRow& row = *Find(TVoskText::Result, 21);
    return row;
}

}  // namespace

const std::string& VoskText(TVoskText situation, int code)
{
    const TTextRow* row = Find(situation, code);
    return row ? row->text : UnknownRow().text;
}

bool HasResultText(int code)
{
    return Find(TVoskText::Result, code) != nullptr;
}
