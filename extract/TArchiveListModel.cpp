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
    IsOdd = 1u << 14,
};

constexpr uint32_t RowKinds = UINT16_MAX;

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

uint32_t TArchiveListModel::Intern(const std::string& text, uint32_t& hint)
{
    // Entries nearly always repeat the host and the method before them.
    if (hint < FTexts.size() && FTexts[hint] == text)
        return hint;
    const auto [it, added] = FTextIndex.try_emplace(text, static_cast<uint32_t>(FTexts.size()));
    if (added)
        FTexts.push_back(text);
    hint = it->second;
    return it->second;
}

uint32_t TArchiveListModel::FolderOf(std::string_view folder)
{
    // Entries come folder by folder, so the last one is nearly always it.
    if (!FFolders.empty() && Name(FFolders.back()) == folder)
        return static_cast<uint32_t>(FFolders.size() - 1);
    const auto [it, added] = FFolderIndex.try_emplace(std::string(folder), static_cast<uint32_t>(FFolders.size()));
    if (added)
        FFolders.push_back(FNames.Add(folder, 0));
    return it->second;
}

uint32_t TArchiveListModel::KindOf(const Kind& kind)
{
    if (!FKinds.empty() && FKinds.back().Key() == kind.Key())
        return static_cast<uint32_t>(FKinds.size() - 1);
    const auto [it, added] = FKindIndex.try_emplace(kind.Key(), static_cast<uint32_t>(FKinds.size()));
    if (added)
        FKinds.push_back(kind);
    return it->second;
}

// Place 0 is a name the arena had no room for, after some four gigabytes of
// names: its row shows no name rather than another's.
std::string_view TArchiveListModel::Name(uint32_t place) const
{
    return place == 0 ? std::string_view() : FNames.Name(place);
}

void TArchiveListModel::Append(const TVoskRARHeaderData& h)
{
    Row row{};
    row.time = h.Time;
    const std::string_view path = h.FileName;
    const auto slash = path.rfind('/');
    const size_t folderLength = slash == std::string_view::npos ? 0 : slash + 1;
    row.folder = FolderOf(path.substr(0, folderLength));
    row.name = FNames.Add(path.substr(folderLength), 0);
    const uint32_t kind =
        KindOf({h.DicSize, Intern(h.HostOS, FHostHint), Intern(h.Method, FMethodHint), h.Major, h.Minor});
    if (h.UnpSize > UINT32_MAX || h.PackSize > UINT32_MAX || kind >= RowKinds) {
        row.flags |= IsOdd;
        row.unpSize = static_cast<uint32_t>(FOdd.size());
        FOdd.push_back({h.UnpSize, h.PackSize, kind});
    } else {
        row.unpSize = static_cast<uint32_t>(h.UnpSize);
        row.packSize = static_cast<uint32_t>(h.PackSize);
        row.kind = static_cast<uint16_t>(kind);
    }
    if (!ParseCrc(h.CRC, row.crc)) {
        row.crc = Intern(h.CRC, FCrcHint);
        row.flags |= CrcIsText;
    }
    const bool flags[] = {h.Encrypted,      h.IsDirectory,   h.ContinuedPrev, h.ContinuedNext, h.AttrArchive,
                          h.AttrCompressed, h.AttrDirectory, h.AttrHidden,    h.AttrNormal,    h.AttrOffline,
                          h.AttrReadOnly,   h.AttrSystem,    h.AttrTemporary};
    for (size_t i = 0; i < std::size(flags); ++i)
        if (flags[i])
            row.flags |= static_cast<uint16_t>(1u << i);
    if (FCount % BlockRows == 0)
        FBlocks.push_back(std::make_unique_for_overwrite<Row[]>(BlockRows));
    At(FCount++) = row;
}

void TArchiveListModel::Clear()
{
    beginResetModel();
    FBlocks.clear();
    FBlocks.shrink_to_fit();
    FCount = 0;
    FNames = {};
    FFolders = {};
    FFolderIndex = {};
    FKinds = {};
    FOdd = {};
    FKindIndex = {};
    FTexts = {};
    FTextIndex = {};
    FPublished = 0;
    endResetModel();
}

void TArchiveListModel::Publish()
{
    if (FCount == FPublished)
        return;
    beginInsertRows(QModelIndex(), static_cast<int>(FPublished), static_cast<int>(FCount - 1));
    FPublished = FCount;
    endInsertRows();
}

uint64_t TArchiveListModel::UnpSize(const Row& row) const
{
    return (row.flags & IsOdd) ? FOdd[row.unpSize].unpSize : row.unpSize;
}

uint64_t TArchiveListModel::PackSize(const Row& row) const
{
    return (row.flags & IsOdd) ? FOdd[row.unpSize].packSize : row.packSize;
}

auto TArchiveListModel::KindOf(const Row& row) const -> const Kind&
{
    return FKinds[(row.flags & IsOdd) ? FOdd[row.unpSize].kind : row.kind];
}

std::string TArchiveListModel::EntryPath(int row) const
{
    const Row& r = At(static_cast<size_t>(row));
    std::string path(Name(FFolders[r.folder]));
    path += Name(r.name);
    return path;
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
    const Row& r = At(static_cast<size_t>(row));
    const Kind& kind = KindOf(r);
    const auto utf8 = [](std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); };
    switch (column) {
    case 0:
        return utf8(Name(r.name));
    case 1:
        return utf8(Name(FFolders[r.folder]));
    case 2:
        return QString::number(UnpSize(r));
    case 3:
        return QString::number(PackSize(r));
    case 4:
        return Star(r.flags & Encrypted);
    case 5:
        return Star(r.flags & IsDirectory);
    case 6:
        return Star(r.flags & ContinuedPrev);
    case 7:
        return Star(r.flags & ContinuedNext);
    case 8:
        return QString::fromStdString(FTexts[kind.hostOS]);
    case 9:
        return (r.flags & CrcIsText) ? QString::fromStdString(FTexts[r.crc]) : QString::number(r.crc, 16).toUpper();
    case 10:
        return QString::number(kind.dicSize);
    case 11:
        return FormatTime(r.time);
    case 12:
        return QString::number(kind.major);
    case 13:
        return QString::number(kind.minor);
    case 14:
        return QString::fromStdString(FTexts[kind.method]);
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
    std::vector<QString> keys(FCount);
    for (size_t i = 0; i < FCount; ++i)
        keys[i] = Text(static_cast<int>(i), column);
    std::vector<uint32_t> order(FCount);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&keys](uint32_t a, uint32_t b) { return CompareAsciiNoCase(keys[a], keys[b]) < 0; });

    std::vector<std::unique_ptr<Row[]>> sorted(FBlocks.size());
    std::vector<int> newRowOf(FCount);
    for (size_t i = 0; i < order.size(); ++i) {
        if (i % BlockRows == 0)
            sorted[i / BlockRows] = std::make_unique_for_overwrite<Row[]>(BlockRows);
        sorted[i / BlockRows][i % BlockRows] = At(order[i]);
        newRowOf[order[i]] = static_cast<int>(i);
    }
    FBlocks = std::move(sorted);

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
