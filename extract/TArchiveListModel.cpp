#include "extract/TArchiveListModel.h"

#include "platform/ascii.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

const char* const Captions[TArchiveListModel::ColumnCount] = {
    "FileName", "Directory", "unpacked", "packed", "Pass",  "Dir",   "Prev",   "Next",
    "HostOS",   "CRC",       "DicSize",  "Time",   "Major", "Minor", "Method", "FileAttr",
};

enum Flag : uint32_t {
    Encrypted = 1u << 0,
    IsDirectory = 1u << 1,
    ContinuedPrev = 1u << 2,
    ContinuedNext = 1u << 3,
    FirstAttribute = 4,  // the nine letters follow in "ACDHNORST" order
    CrcIsText = 1u << 13,
};

constexpr char AttributeLetters[] = "ACDHNORST";

// The CRC text as the engine writes it (upper-case hex, no leading zeros)
// is kept as its value; anything else is kept as text.
bool ParseCrc(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 8 || (text.size() > 1 && text[0] == '0'))
        return false;
    value = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            value = value * 16 + uint32_t(c - '0');
        else if (c >= 'A' && c <= 'F')
            value = value * 16 + uint32_t(c - 'A' + 10);
        else
            return false;
    }
    return true;
}

QString Star(bool set)
{
    return set ? QStringLiteral("*") : QString();
}

}  // namespace

int CompareAsciiNoCase(const QString& a, const QString& b)
{
    // Upper case, which sets the order: '_' sorts after the letters.
    const auto fold = [](QChar c) { return platform::UpperAscii(c.unicode()); };
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = fold(a[i]);
        const char16_t cb = fold(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

TArchiveListModel::TArchiveListModel(QObject* parent) : QAbstractTableModel(parent)
{
    FTimeFormat = FLocale.timeFormat(QLocale::LongFormat);
    // The stored times carry no zone, so a zone name would be wrong.
    FTimeFormat = FTimeFormat.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b"))).trimmed();
}

uint32_t TArchiveListModel::Intern(const std::string& text)
{
    const auto [it, added] = FTextIndex.try_emplace(text, static_cast<uint32_t>(FTexts.size()));
    if (added)
        FTexts.push_back(text);
    return it->second;
}

void TArchiveListModel::Append(const TVoskRARHeaderData& h)
{
    Row row{};
    row.unpSize = h.UnpSize;
    row.packSize = h.PackSize;
    row.dicSize = h.DicSize;
    row.time = h.Time;
    row.nameStart = FNames.size();
    row.nameLength = static_cast<uint32_t>(h.FileName.size());
    const auto slash = h.FileName.rfind('/');
    row.folderLength = slash == std::string::npos ? 0 : static_cast<uint32_t>(slash + 1);
    FNames += h.FileName;
    row.major = h.Major;
    row.minor = h.Minor;
    row.hostOS = Intern(h.HostOS);
    row.method = Intern(h.Method);
    if (!ParseCrc(h.CRC, row.crc)) {
        row.crc = Intern(h.CRC);
        row.flags |= CrcIsText;
    }
    const bool flags[] = {h.Encrypted,      h.IsDirectory,   h.ContinuedPrev, h.ContinuedNext, h.AttrArchive,
                          h.AttrCompressed, h.AttrDirectory, h.AttrHidden,    h.AttrNormal,    h.AttrOffline,
                          h.AttrReadOnly,   h.AttrSystem,    h.AttrTemporary};
    for (size_t i = 0; i < std::size(flags); ++i)
        if (flags[i])
            row.flags |= 1u << i;
    FRows.push_back(row);
}

void TArchiveListModel::Clear()
{
    beginResetModel();
    FRows = {};
    FNames = {};
    FTexts.clear();
    FTextIndex.clear();
    FPublished = 0;
    endResetModel();
}

void TArchiveListModel::Publish()
{
    if (FRows.size() == FPublished)
        return;
    beginInsertRows(QModelIndex(), static_cast<int>(FPublished), static_cast<int>(FRows.size() - 1));
    FPublished = FRows.size();
    endInsertRows();
}

std::string TArchiveListModel::EntryPath(int row) const
{
    const Row& r = FRows[static_cast<size_t>(row)];
    return FNames.substr(r.nameStart, r.nameLength);
}

QString TArchiveListModel::FormatTime(double time) const
{
    const double days = std::floor(time);
    const qint64 ms = std::llround((time - days) * 86400000.0);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    QString result = FLocale.toString(date, QLocale::ShortFormat);
    if (ms > 0 && ms < 86400000)
        result += QLatin1Char(' ') + FLocale.toString(QTime::fromMSecsSinceStartOfDay(int(ms)), FTimeFormat);
    return result;
}

QString TArchiveListModel::Text(int row, int column) const
{
    const Row& r = FRows[static_cast<size_t>(row)];
    const char* name = FNames.data() + r.nameStart;
    switch (column) {
    case 0:
        return QString::fromUtf8(name + r.folderLength, r.nameLength - r.folderLength);
    case 1:
        return QString::fromUtf8(name, r.folderLength);
    case 2:
        return QString::number(r.unpSize);
    case 3:
        return QString::number(r.packSize);
    case 4:
        return Star(r.flags & Encrypted);
    case 5:
        return Star(r.flags & IsDirectory);
    case 6:
        return Star(r.flags & ContinuedPrev);
    case 7:
        return Star(r.flags & ContinuedNext);
    case 8:
        return QString::fromStdString(FTexts[r.hostOS]);
    case 9:
        return (r.flags & CrcIsText) ? QString::fromStdString(FTexts[r.crc]) : QString::number(r.crc, 16).toUpper();
    case 10:
        return QString::number(r.dicSize);
    case 11:
        return FormatTime(r.time);
    case 12:
        return QString::number(r.major);
    case 13:
        return QString::number(r.minor);
    case 14:
        return QString::fromStdString(FTexts[r.method]);
    case 15: {
        QString letters;
        for (int i = 0; i < 9; ++i)
            if (r.flags & (1u << (FirstAttribute + i)))
                letters += QLatin1Char(AttributeLetters[i]);
        return letters;
    }
    default:
        return QString();
    }
}

void TArchiveListModel::SortByColumn(int column)
{
    Publish();
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

    // Each cell's text is made once, not once per comparison.
    std::vector<QString> keys(FRows.size());
    for (size_t i = 0; i < FRows.size(); ++i)
        keys[i] = Text(static_cast<int>(i), column);
    std::vector<uint32_t> order(FRows.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&keys](uint32_t a, uint32_t b) { return CompareAsciiNoCase(keys[a], keys[b]) < 0; });

    std::vector<Row> sorted;
    sorted.reserve(FRows.size());
    std::vector<int> newRowOf(FRows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(FRows[order[i]]);
        newRowOf[order[i]] = static_cast<int>(i);
    }
    FRows = std::move(sorted);

    // Selections and the current row follow their entries.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(index.isValid() ? createIndex(newRowOf[static_cast<size_t>(index.row())], index.column()) : index);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TArchiveListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FPublished);
}

int TArchiveListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TArchiveListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    return Text(index.row(), index.column());
}

QVariant TArchiveListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QVariant();
    return QString::fromLatin1(Captions[section]);
}
