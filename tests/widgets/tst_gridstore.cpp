#include "widgets/gridstore.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Notes every change the store reports, with what the store held at that moment.
class Recorder final : public GridStore::Observer
{
public:
    explicit Recorder(const GridStore& store) : m_store(store) {}

    std::vector<std::string> calls;

    void rowsInserted(int row, int count) override { note("came", row, count); }
    void rowsRemoving(int row, int count) override { note("leaving", row, count); }
    void reshaped() override { calls.push_back("reshaped"); }
    void cellsChanged(int row1, int col1, int row2, int col2) override
    {
        calls.push_back("cells " + std::to_string(row1) + "," + std::to_string(col1) + "-" + std::to_string(row2) +
                        "," + std::to_string(col2));
    }

private:
    // The rows named are in the store when it speaks: their first cells show it.
    void note(const char* what, int row, int count)
    {
        std::string texts;
        for (int r = row; r < row + count; ++r)
            texts += m_store.text(r, 0).toStdString() + ";";
        calls.push_back(std::string(what) + " " + std::to_string(row) + "+" + std::to_string(count) + " " + texts);
    }

    const GridStore& m_store;
};

std::vector<GridRow> outlineBlock(std::initializer_list<std::pair<const char*, int>> rows)
{
    std::vector<GridRow> block;
    for (const auto& [text, level] : rows)
        block.push_back({QString::fromLatin1(text), QByteArray(), level, false, false, -1});
    return block;
}

} // namespace

TEST(GridStore, TellsItsObserverOfRowsWhileTheyAreThere)
{
    GridStore store;
    Recorder recorder(store);
    store.setObserver(&recorder);
    store.setCols(2);
    store.appendTabbed(u"a\tA");
    std::vector<GridRow> block = outlineBlock({{"b", 0}, {"c", 0}});
    ASSERT_TRUE(store.insertRows(1, block, {}));
    store.removeRowAt(0);
    store.setRows(1);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"reshaped", "came 0+1 a;", "came 1+2 b;c;", "leaving 0+1 a;",
                                                        "leaving 1+1 c;"}));

    // A level matters to the presentation only in an outline.
    recorder.calls.clear();
    store.setLevel(0, 1);
    store.setOutline(true);
    store.setLevel(0, 2);
    store.setFixedRows(1);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"reshaped", "reshaped", "reshaped"}));
}

TEST(GridStore, TrackedRowsFollowTheirRow)
{
    GridStore store;
    store.setFixedRows(1);
    store.setRows(5);
    int current = 3;
    int gone = 2;
    store.trackRow(&current);
    store.trackRow(&gone);
    store.insertRowAt(1);
    std::vector<GridRow> block = outlineBlock({{"x", 0}, {"y", 0}});
    store.insertRows(1, block, {});
    EXPECT_EQ(current, 6);
    store.removeRowAt(gone);
    EXPECT_EQ(gone, -1);
    EXPECT_EQ(current, 5);
    store.setRows(4);
    EXPECT_EQ(current, -1);
    store.untrackRow(&current);
    store.untrackRow(&gone);
}

TEST(GridStore, MarksSkipTheHeaderAndFollowInsertedRows)
{
    GridStore store;
    store.setFixedRows(1);
    store.setRows(4);
    store.setSelected(0, true);
    store.setSelected(3, true);
    store.setSelected(1, true);
    EXPECT_EQ(store.selectedRows(), (std::vector<int>{1, 3}));
    store.insertRowAt(2);
    EXPECT_EQ(store.selectedRows(), (std::vector<int>{1, 4}));
    store.removeRowAt(1);
    EXPECT_EQ(store.selectedRows(), (std::vector<int>{3}));
    store.clearSelected();
    EXPECT_TRUE(store.selectedRows().empty());
}

TEST(GridStore, CellsKeepTheirTextsThroughEveryShape)
{
    GridStore store;
    store.setCols(3);
    store.appendTabbed(u"a\tb\tc\tspill");
    EXPECT_EQ(store.text(0, 2), QStringLiteral("c"));
    EXPECT_TRUE(store.textView(0, 3).isNull());

    // A row that came as one plain cell takes a second cell without losing the first.
    std::vector<GridRow> block = outlineBlock({{"plain", 0}});
    store.insertRows(1, block, {});
    store.setText(1, 2, u"third");
    EXPECT_EQ(store.text(1, 0), QStringLiteral("plain"));
    EXPECT_EQ(store.text(1, 1), QStringLiteral(""));
    EXPECT_EQ(store.text(1, 2), QStringLiteral("third"));

    store.setCols(2);
    EXPECT_EQ(store.text(0, 1), QStringLiteral("b"));
    EXPECT_EQ(store.text(1, 2), QStringLiteral(""));
    store.setCols(3);
    EXPECT_EQ(store.text(0, 2), QStringLiteral("")) << "a narrowed row does not get its cut cells back";

    // A row holds at most 65535 characters; the cell that passes that is cut, the rest stay whole.
    const QString longText(70000, u'x');
    store.setText(0, 2, longText);
    EXPECT_EQ(store.text(0, 0), QStringLiteral("a"));
    EXPECT_EQ(store.text(0, 2).size(), 0xffff - 2);
}

TEST(GridStore, RangesOfLooksAreClippedAndToldOnce)
{
    GridStore store;
    Recorder recorder(store);
    store.setCols(3);
    store.setRows(3);
    store.setColumnAlignment(2, GridStore::alignRightCenter);
    store.setObserver(&recorder);
    store.setBold(5, 9, 1, 1, true); // corners in any order, reaching past the store
    store.setAlignment(0, 0, 0, 1, GridStore::alignLeftCenter);
    store.setBold(7, 0, 9, 2, true); // nothing left of it
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"cells 1,1-2,2", "cells 0,0-0,1"}));
    EXPECT_FALSE(store.isBold(0, 1));
    EXPECT_TRUE(store.isBold(2, 2));
    EXPECT_EQ(store.alignment(0, 1), GridStore::alignLeftCenter);
    EXPECT_EQ(store.alignment(0, 2), GridStore::alignRightCenter) << "a cell without its own takes its column's";
}

TEST(GridStore, WholeSubtrees)
{
    GridStore store;
    std::vector<GridRow> block = outlineBlock({{"root", 0}, {"a", 1}, {"a1", 2}, {"a2", 2}, {"b", 1}, {"b1", 2}});
    store.insertRows(0, block, {});
    EXPECT_TRUE(store.wholeSubtrees(1, 3));  // a with its children
    EXPECT_TRUE(store.wholeSubtrees(1, 5));  // a and b
    EXPECT_TRUE(store.wholeSubtrees(2, 1));  // a leaf
    EXPECT_FALSE(store.wholeSubtrees(1, 2)); // a without a2, which would change its parent
    EXPECT_FALSE(store.wholeSubtrees(3, 2)); // a2 and b: b is shallower than a2
    EXPECT_FALSE(store.wholeSubtrees(5, 2)); // past the end
}
