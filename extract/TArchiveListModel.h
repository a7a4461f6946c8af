#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "archive/VoskUnRar.h"
#include "archive/writer/NameTable.h"

// The rows of the window's hidden list: one compact record per entry, cells
// formatted only when a view asks for them. A row is 32 bytes; its name and
// folder lie in an arena, each folder once, and the texts that an archive's
// entries share (host, method, version, dictionary) once per archive. A
// listing of 100,000 entries costs about five megabytes, in blocks, so it
// never holds a grown copy beside the old one.
class TArchiveListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int ColumnCount = 16;

    explicit TArchiveListModel(QObject* parent = nullptr);

    void Append(const TVoskRARHeaderData& hdrData);
    void Clear();
    // Announces the rows appended since the last call to the views; rows are
    // batched so a hidden view is not told about every entry on its own.
    void Publish();

    // The text of one cell, exactly as the view shows it.
    QString Text(int row, int column) const;
    // The entry's path inside the archive: "Directory" followed by "FileName".
    std::string EntryPath(int row) const;
    // Sorts every row ascending by the text of `column`, compared with only
    // the ASCII letters folded; rows with equal texts keep their order.
    void SortByColumn(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Row {
        double time;
        uint32_t unpSize;   // or, in an odd row, an index into FOdd
        uint32_t packSize;  // or, in an odd row, nothing
        uint32_t name;      // the part after the last '/', a place in FNames
        uint32_t folder;    // up to and including the last '/', into FFolders
        uint32_t crc;       // the CRC's value, or an index into FTexts (flag CrcIsText)
        uint16_t kind;      // into FKinds, in a row that is not odd
        uint16_t flags;     // Pass, Dir, Prev, Next, the nine attribute letters, CrcIsText, IsOdd
    };
    static_assert(sizeof(Row) == 32);
    // What the entries of one archive nearly always share.
    struct Kind {
        int64_t dicSize;
        uint32_t hostOS;  // into FTexts
        uint32_t method;  // into FTexts
        uint32_t major;
        uint32_t minor;
        auto Key() const { return std::tie(dicSize, hostOS, method, major, minor); }
    };
    // What a row cannot hold: sizes of 4 GiB and more, or a kind beyond the
    // first 65,535 of an archive.
    struct Odd {
        uint64_t unpSize;
        uint64_t packSize;
        uint32_t kind;
    };
    static constexpr size_t BlockRows = 1024;

    Row& At(size_t row) { return FBlocks[row / BlockRows][row % BlockRows]; }
    const Row& At(size_t row) const { return FBlocks[row / BlockRows][row % BlockRows]; }
    // `hint`: where this kind of text was last found, tried first.
    uint32_t Intern(const std::string& text, uint32_t& hint);
    uint32_t FolderOf(std::string_view folder);
    uint32_t KindOf(const Kind& kind);
    uint64_t UnpSize(const Row& row) const;
    uint64_t PackSize(const Row& row) const;
    const Kind& KindOf(const Row& row) const;
    std::string_view Name(uint32_t place) const;
    QString FormatTime(double time) const;

    std::vector<std::unique_ptr<Row[]>> FBlocks;
    size_t FCount = 0;
    size_t FPublished = 0;
    TNameArena FNames;
    std::vector<uint32_t> FFolders;  // places in FNames
    std::unordered_map<std::string, uint32_t> FFolderIndex;
    std::vector<Kind> FKinds;
    std::vector<Odd> FOdd;
    std::map<std::tuple<int64_t, uint32_t, uint32_t, uint32_t, uint32_t>, uint32_t> FKindIndex;
    std::vector<std::string> FTexts;  // host, method and odd CRC texts, each once
    std::unordered_map<std::string, uint32_t> FTextIndex;
    uint32_t FHostHint = 0, FMethodHint = 0, FCrcHint = 0;
    QLocale FLocale;
    QString FTimeFormat;
};

// Text order with only the ASCII letters folded, the way the list sorts.
int CompareAsciiNoCase(const QString& a, const QString& b);
