// The hidden list's rows: compact records that show the header's texts,
// keep the selection on its entries through a sort, and a bar that moves at
// every entry but is painted only now and then.
#include <QProgressBar>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <iterator>

#include "extract/TArchiveListModel.h"
#include "window_helpers.h"

namespace {

TEST(ListModel, ShowsEveryColumnOfTheHeaderRecord)
{
    TVoskRARHeaderData h;
    h.FileName = "Ordner/Unter/Grüße.txt";
    h.UnpSize = 0x140000000ull;
    h.PackSize = 12;
    h.Encrypted = true;
    h.ContinuedNext = true;
    h.HostOS = "Unix";
    h.CRC = "00AB";  // not in the engine's form: shown as it came
    h.DicSize = 4294967296;
    h.Time = 45429.5;  // 17 May 2024, noon
    h.Major = 5;
    h.Minor = 0;
    h.Method = "best";
    h.AttrArchive = h.AttrReadOnly = h.AttrTemporary = true;
    TVoskRARHeaderData second = h;
    second.FileName = "top.txt";
    second.CRC = "9F3C00D1";
    second.HostOS = "Windows";
    second.Encrypted = second.ContinuedNext = second.AttrArchive = second.AttrReadOnly = false;
    second.IsDirectory = second.ContinuedPrev = second.AttrHidden = true;

    TArchiveListModel rows;
    rows.Append(h);
    rows.Append(second);
    rows.Publish();
    QStringList first, other;
    for (int column = 0; column < TArchiveListModel::ColumnCount; ++column) {
        first << rows.index(0, column).data().toString();
        other << rows.index(1, column).data().toString();
    }
    EXPECT_EQ(first, (QStringList{"Grüße.txt", "Ordner/Unter/", "5368709120", "12", "*", "", "", "*", "Unix", "00AB",
                                  "4294967296", "17 May 2024 12:00:00", "5", "0", "best", "ART"}));
    EXPECT_EQ(other, (QStringList{"top.txt", "", "5368709120", "12", "", "*", "*", "", "Windows", "9F3C00D1",
                                  "4294967296", "17 May 2024 12:00:00", "5", "0", "best", "HT"}));
    EXPECT_EQ(rows.headerData(11, Qt::Horizontal).toString(), "Time");
}

// Rows keep a folder, a dictionary and the like once for all the entries
// that share it: each row must still show its own, however many there are.
TEST(ListModel, EveryRowKeepsItsOwnFolderAndFiguresAmongMany)
{
    TArchiveListModel rows;
    TVoskRARHeaderData h;
    h.HostOS = "Unix";
    h.Method = "normal";
    h.CRC = "1";
    // More dictionary sizes than a row can point to directly.
    constexpr int Count = 70000;
    for (int i = 0; i < Count; ++i) {
        h.FileName = (i % 3 == 0 ? "a/" : i % 3 == 1 ? "b/c/" : "") + std::to_string(i);
        h.DicSize = 1000 + i;
        h.UnpSize = i == Count - 1 ? 0x100000000ull : uint64_t(i);
        rows.Append(h);
    }
    rows.Publish();
    for (const int i : {0, 1, 2, 3, 65534, 65535, 65536, Count - 1}) {
        const QString prefix = i % 3 == 0 ? "a/" : i % 3 == 1 ? "b/c/" : "";
        EXPECT_EQ(rows.Text(i, 1), prefix) << i;
        EXPECT_EQ(rows.Text(i, 0), QString::number(i)) << i;
        EXPECT_EQ(rows.EntryPath(i), (prefix + QString::number(i)).toStdString()) << i;
        EXPECT_EQ(rows.Text(i, 10), QString::number(1000 + i)) << i;
        EXPECT_EQ(rows.Text(i, 2), QString::number(i == Count - 1 ? 0x100000000ull : uint64_t(i))) << i;
    }
    // A sort moves whole rows, their odd parts with them.
    rows.SortByColumn(2);
    int last = 0;
    while (last < Count && rows.Text(last, 0) != QString::number(Count - 1))
        ++last;
    ASSERT_LT(last, Count);
    EXPECT_NE(last, Count - 1);
    EXPECT_EQ(rows.Text(last, 2), "4294967296");
    EXPECT_EQ(rows.Text(last, 10), QString::number(1000 + Count - 1));
    EXPECT_EQ(rows.Text(last, 1), "a/");
}

TEST(ListModel, SelectedRowsFollowTheirEntriesThroughASort)
{
    Environment env;
    auto window = env.Window(TestDataPath("ten.rar"));
    TfrmMainAccess::ListArchive(*window, TestDataPath("ten.rar"));
    auto& view = Child<QTreeView>(*window, "lstvwMain");
    for (int row : {1, 4})  // f02.txt, f05.txt
        view.selectionModel()->select(view.model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window->lstvwMainColumnClick(9);  // by CRC, which mixes the rows
    const QStringList names = ColumnTexts(*window, 0);
    ASSERT_NE(names.indexOf("f02.txt"), 1);

    QStringList selected;
    for (int row = 0; row < names.size(); ++row)
        if (view.selectionModel()->isRowSelected(row, QModelIndex()))
            selected << names[row];
    EXPECT_EQ(selected.size(), 2);
    EXPECT_TRUE(selected.contains("f02.txt") && selected.contains("f05.txt"));

    env.chooserAnswer = env.work.Path();
    window->acExtractExecute();
    const TFileList& list = TfrmMainAccess::Component(*window).FileList;
    ASSERT_EQ(list.Count(), 2u);
    // In the order the rows now stand.
    EXPECT_EQ(list[0], env.work.Path() + "/" + selected[0].toStdString());
}

TEST(ListModel, ASecondArchiveAfterASortShowsItsRowsInArchiveOrder)
{
    Environment env;
    auto window = env.Window(TestDataPath("sizes.rar"));
    TfrmMainAccess::ListArchive(*window, TestDataPath("sizes.rar"));
    window->lstvwMainColumnClick(2);
    EXPECT_EQ(ColumnTexts(*window, 0), (QStringList{"s10.txt", "s100.txt", "s9.txt"}));
    TfrmMainAccess::ListArchive(*window, TestDataPath("sizes.rar"));
    EXPECT_EQ(ColumnTexts(*window, 0), (QStringList{"s9.txt", "s10.txt", "s100.txt"}));
}

// Records the bar's value at each paint.
class PaintLog : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted.push_back(static_cast<QProgressBar*>(watched)->value());
        return false;
    }
    std::vector<int> painted;
};

// The window's time stands still except where the test moves it on by the
// bar's paint interval: as the bar reaches 40 and 80. The first step is
// painted at once, those two, and the last when the run ends.
TEST(ProgressBar, MovesAtEveryEntryButIsPaintedRarelyAndLastAtTheEnd)
{
    Environment env;
    auto window = env.Window(env.CopyArchive("ten.rar", env.work.Path()));
    auto now = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    window->SetClock([&now] { return now; });
    auto& bar = Child<QProgressBar>(*window, "prgbrUnRar");
    std::vector<int> values;
    QObject::connect(&bar, &QProgressBar::valueChanged, [&](int v) {
        values.push_back(v);
        if (v == 40 || v == 80)
            now += std::chrono::milliseconds(100);
    });
    PaintLog log;
    bar.installEventFilter(&log);
    window->Timer1Timer();
    EXPECT_EQ(values, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    std::vector<int> paintedWhileExtracting;
    std::copy_if(log.painted.begin(), log.painted.end(), std::back_inserter(paintedWhileExtracting),
                 [](int v) { return v > 0; });
    EXPECT_EQ(paintedWhileExtracting, (std::vector<int>{10, 40, 80, 100}));
}

}  // namespace
