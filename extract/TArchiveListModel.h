#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/VoskUnRar.h"

// The rows of the window's hidden list: one compact record per entry, cells
// formatted only when a view asks for them. A listing of 100,000 entries
// costs a few megabytes and nothing per cell until the list is shown.
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
        uint64_t unpSize;
        uint64_t packSize;
        int64_t dicSize;
        double time;
        uint64_t nameStart;  // into FNames
        uint32_t nameLength;
        uint32_t folderLength;  // up to and including the last '/'
        uint32_t major;
        uint32_t minor;
        uint32_t crc;     // the CRC's value, or an index into FTexts (flag CrcIsText)
        uint32_t hostOS;  // into FTexts
        uint32_t method;  // into FTexts
        uint32_t flags;   // Pass, Dir, Prev, Next, the nine attribute letters, CrcIsText
    };

    uint32_t Intern(const std::string& text);
    QString FormatTime(double time) const;

    std::vector<Row> FRows;
    size_t FPublished = 0;
    std::string FNames;               // every entry's path, back to back
    std::vector<std::string> FTexts;  // host and method texts, each once
    std::unordered_map<std::string, uint32_t> FTextIndex;
    QLocale FLocale;
    QString FTimeFormat;
};

// Text order with only the ASCII letters folded, the way the list sorts.
int CompareAsciiNoCase(const QString& a, const QString& b);
