#include "runs/qt/scriptreview.h"

#include "os/nativetext.h"
#include "os/pathtext.h"
#include "runs/qt/runtexts.h"
#include "script/scriptfs.h"
#include "script/texts.h"
#include "settings/settings.h"
#include "widgets/dialogs.h"
#include "widgets/messagebox.h"
#include "widgets/twips.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <algorithm>
#include <cstring>

using Mark = ScriptReviewDialog::Mark;

namespace {

// Whether every letter of the face takes the same room: what a script's columns need, measured rather than
// taken from the face's own claim, which some systems' font back ends do not give.
bool evenWidths(const QFont& font)
{
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(QStringLiteral("iiii")) == metrics.horizontalAdvance(QStringLiteral("MMMM"));
}

// The system's fixed-width face; where the system names one it does not have (Courier New on a Windows
// without it falls back to a proportional serif face), the first face of even widths it does have.
QFont fixedPitchFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (evenWidths(font))
        return font;
    const QStringList families = QFontDatabase::families();
    QStringList candidates;
    for (const char* preferred : {"Consolas", "Cascadia Mono", "Lucida Console", "Courier New", "Courier",
                                  "DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono"})
        candidates << QString::fromLatin1(preferred);
    for (const QString& family : families) {
        if (QFontDatabase::isFixedPitch(family))
            candidates << family;
    }
    for (const QString& family : std::as_const(candidates)) {
        if (!families.contains(family))
            continue;
        QFont candidate = font;
        candidate.setFamily(family);
        if (evenWidths(candidate))
            return candidate;
    }
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

constexpr QChar blankMark = u'\u00b7';   // middle dot
constexpr QChar tabMark = u'\u2192';     // rightwards arrow
constexpr QChar lineEndMark = u'\u21b5'; // downwards arrow with corner leftwards: the CR LF

constexpr int defaultWidth = 900; // pixels, when no size is stored
constexpr int defaultHeight = 620;

QColor markColour(Mark mark)
{
    switch (mark) {
    case Mark::Error:
        return QColor(0xc6, 0x28, 0x28);
    case Mark::Warning:
        return QColor(0xe0, 0x8a, 0x00);
    case Mark::Empty:
        return QColor(0x60, 0x7d, 0x8b);
    case Mark::None:
        break;
    }
    return {};
}

QColor rowColour(Mark mark)
{
    switch (mark) {
    case Mark::Error:
        return QColor(0xfd, 0xe4, 0xe4);
    case Mark::Warning:
        return QColor(0xff, 0xf3, 0xd6);
    default:
        return {};
    }
}

} // namespace

// The script's lines as rows, over the script's bytes: a line is decoded only when it is shown, so a script
// of a million lines costs its line starts and nothing more.
class ScriptLinesModel final : public QAbstractListModel
{
public:
    ScriptLinesModel(const std::string& bytes, const std::vector<script::Finding>& findings, QObject* parent)
        : QAbstractListModel(parent), m_bytes(bytes)
    {
        for (std::size_t pos = 0; pos < bytes.size();) {
            m_starts.push_back(pos);
            const void* end = std::memchr(bytes.data() + pos, '\n', bytes.size() - pos);
            const std::size_t next = end ? std::size_t(static_cast<const char*>(end) - bytes.data()) + 1 : bytes.size();
            m_longest = std::max(m_longest, next - pos);
            pos = next;
        }
        m_marks.assign(m_starts.size(), Mark::None);
        for (const script::Finding& finding : findings) {
            if (finding.line == 0 || finding.line > m_marks.size())
                continue;
            Mark& mark = m_marks[finding.line - 1];
            const Mark level = script::levelOf(finding.code) == script::CheckLevel::Error ? Mark::Error : Mark::Warning;
            mark = std::max(mark, level);
        }
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(std::min<std::size_t>(m_starts.size(), std::size_t(INT_MAX)));
    }

    std::string_view lineBytes(int row) const
    {
        const std::size_t start = m_starts[std::size_t(row)];
        const std::size_t end =
            std::size_t(row) + 1 < m_starts.size() ? m_starts[std::size_t(row) + 1] : m_bytes.size();
        std::string_view line(m_bytes.data() + start, end - start);
        if (line.ends_with("\r\n"))
            line.remove_suffix(2);
        return line;
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const int row = index.row();
        switch (role) {
        case Qt::DisplayRole: {
            QString shown = nativeText(lineBytes(row));
            for (QChar& c : shown) {
                if (c == u' ')
                    c = blankMark;
                else if (c == u'\t')
                    c = tabMark;
                else if (c.unicode() < 0x20)
                    c = QChar(0x2400 + c.unicode());
            }
            return QString(shown + lineEndMark);
        }
        case ScriptReviewDialog::LineTextRole:
            return nativeText(lineBytes(row));
        case ScriptReviewDialog::LineNumberRole:
            return row + 1;
        case ScriptReviewDialog::MarkRole: {
            const Mark mark = m_marks[std::size_t(row)];
            return int(mark == Mark::None && lineBytes(row).empty() ? Mark::Empty : mark);
        }
        default:
            return {};
        }
    }

    std::size_t longestLine() const { return m_longest; }

private:
    const std::string& m_bytes;
    std::vector<std::size_t> m_starts;
    std::vector<Mark> m_marks;
    std::size_t m_longest = 0;
};

// The findings, one a row; their texts are made when they are shown.
class FindingsModel final : public QAbstractTableModel
{
public:
    FindingsModel(const script::RunRequest& request, const std::vector<script::Finding>& findings, QObject* parent)
        : QAbstractTableModel(parent), m_findings(findings), m_shown(request)
    {
        // The texts show names and folders in the user's text, whatever the file system's bytes.
        for (std::string& name : m_shown.drawings)
            name = pathText(name);
        m_shown.listingFolder = pathText(request.listingFolder);
        m_shown.projectName = pathText(request.projectName);
        m_shown.cad.startDrawing = pathText(request.cad.startDrawing);
        for (script::SessionScript* session : {&m_shown.sessionScripts.start, &m_shown.sessionScripts.end})
            session->path = pathText(session->path);
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(std::min<std::size_t>(m_findings.size(), std::size_t(INT_MAX)));
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return runtexts::findingColumns().value(section);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const script::Finding& finding = m_findings[std::size_t(index.row())];
        const bool error = script::levelOf(finding.code) == script::CheckLevel::Error;
        if (role == Qt::DecorationRole && index.column() == 0) {
            return QApplication::style()->standardIcon(error ? QStyle::SP_MessageBoxCritical
                                                             : QStyle::SP_MessageBoxWarning);
        }
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        const auto utf8 = [](std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); };
        switch (index.column()) {
        case 0:
            return finding.line == 0 ? QString() : QString::number(finding.line);
        case 1:
            return utf8(script::codeName(finding.code));
        case 2:
            return utf8(script::findingDrawing(finding, m_shown));
        default:
            return utf8(script::findingText(finding, m_shown));
        }
    }

private:
    const std::vector<script::Finding>& m_findings;
    script::RunRequest m_shown;
};

// A script row: the margin mark, the line number, then the line with its blanks and line end drawn faintly.
class ScriptLineDelegate final : public QStyledItemDelegate
{
public:
    ScriptLineDelegate(const ScriptLinesModel& model, QObject* parent) : QStyledItemDelegate(parent), m_model(model) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QFontMetrics metrics(option.font);
        const auto mark = Mark(index.data(ScriptReviewDialog::MarkRole).toInt());
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->setFont(option.font);
        QRect row = option.rect;
        if (selected)
            painter->fillRect(row, option.palette.highlight());
        else if (rowColour(mark).isValid())
            painter->fillRect(row, rowColour(mark));

        // The margin: a dot for a finding, a dash for an empty line.
        const int markWidth = metrics.height();
        const QRect markArea(row.left(), row.top(), markWidth, row.height());
        if (mark != Mark::None) {
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(Qt::NoPen);
            painter->setBrush(markColour(mark));
            const int size = markWidth / 2;
            const QRect dot(markArea.center().x() - size / 2, markArea.center().y() - size / 2, size, size);
            if (mark == Mark::Empty)
                painter->drawRect(dot.adjusted(0, size / 3, 0, -size / 3));
            else
                painter->drawEllipse(dot);
        }

        const QColor text = selected ? option.palette.highlightedText().color() : option.palette.text().color();
        QColor faint = selected ? text : option.palette.placeholderText().color();
        const int numberWidth = this->numberWidth(metrics);
        painter->setPen(faint);
        painter->drawText(QRect(markArea.right() + 1, row.top(), numberWidth, row.height()),
                          Qt::AlignRight | Qt::AlignVCenter,
                          QString::number(index.data(ScriptReviewDialog::LineNumberRole).toLongLong()));

        // The line in runs of plain text and of marks, each in its colour.
        const QString shown = index.data(Qt::DisplayRole).toString();
        const QString plain = index.data(ScriptReviewDialog::LineTextRole).toString();
        int x = markArea.right() + 1 + numberWidth + metrics.horizontalAdvance(u' ') * 2;
        const int baseline = row.top() + (row.height() - metrics.height()) / 2 + metrics.ascent();
        qsizetype runStart = 0;
        const auto isMark = [&](qsizetype i) { return i >= plain.size() || shown[i] != plain[i]; };
        for (qsizetype i = 1; i <= shown.size(); ++i) {
            if (i < shown.size() && isMark(i) == isMark(runStart))
                continue;
            const QString run = shown.mid(runStart, i - runStart);
            painter->setPen(isMark(runStart) ? faint : text);
            painter->drawText(x, baseline, run);
            x += metrics.horizontalAdvance(run);
            runStart = i;
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        // Every row alike (the view asks once): as wide as the longest line, so the view scrolls to its end.
        const QFontMetrics metrics(option.font);
        const int advance = metrics.horizontalAdvance(u'M');
        const int width = metrics.height() + numberWidth(metrics) +
                          advance * int(std::min<std::size_t>(m_model.longestLine() + 4, 4000));
        return {width, metrics.height() + 2};
    }

private:
    int numberWidth(const QFontMetrics& metrics) const
    {
        return metrics.horizontalAdvance(QString::number(std::max(1, m_model.rowCount())));
    }

    const ScriptLinesModel& m_model;
};

ScriptReviewDialog::ScriptReviewDialog(QWidget* parent, Settings& settings, script::RunRequest request,
                                       script::Script script,
                                       std::vector<script::Finding> findings, std::optional<CadKind> askingRun)
    : QDialog(parent), m_settings(settings), m_request(std::move(request)), m_script(std::move(script)), m_findings(std::move(findings))
{
    setWindowTitle(runtexts::reviewTitle());
    setSizeGripEnabled(true);

    m_lines = new ScriptLinesModel(m_script.bytes(), m_findings, this);
    m_findingsModel = new FindingsModel(m_request, m_findings, this);

    m_summary = new QLabel(summary());
    if (askingRun)
        m_summary->setText(m_summary->text() + u'\n' + runtexts::runWaits(*askingRun == CadKind::Acad));
    m_summary->setWordWrap(true);

    m_scriptView = new QListView;
    m_scriptView->setObjectName(QStringLiteral("scriptView"));
    m_scriptView->setFont(fixedPitchFont());
    m_scriptView->setUniformItemSizes(true);
    m_scriptView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_scriptView->setModel(m_lines);
    m_scriptView->setItemDelegate(new ScriptLineDelegate(*m_lines, m_scriptView));

    m_findingsView = new QTreeView;
    m_findingsView->setObjectName(QStringLiteral("findingsView"));
    m_findingsView->setRootIsDecorated(false);
    m_findingsView->setUniformRowHeights(true);
    m_findingsView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_findingsView->setModel(m_findingsModel);
    m_findingsView->header()->setStretchLastSection(true);
    const QFontMetrics metrics(m_findingsView->font());
    m_findingsView->setColumnWidth(0, metrics.horizontalAdvance(QStringLiteral("0000000000")) + 24);
    m_findingsView->setColumnWidth(1, metrics.horizontalAdvance(QStringLiteral("unquoted-blank")) + 16);
    m_findingsView->setColumnWidth(2, metrics.horizontalAdvance(QStringLiteral("K0000 Plan norra.dwg")) + 16);
    connect(m_findingsView, &QTreeView::clicked, this, [this](const QModelIndex& index) { showFinding(index.row()); });
    connect(m_findingsView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showFinding(current.row()); });

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(m_scriptView);
    splitter->addWidget(m_findingsView);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);

    auto* buttons = new QDialogButtonBox;
    m_runAcad = buttons->addButton(runtexts::runIn(true), QDialogButtonBox::ActionRole);
    m_runIcad = buttons->addButton(runtexts::runIn(false), QDialogButtonBox::ActionRole);
    m_save = buttons->addButton(runtexts::saveAs(), QDialogButtonBox::ActionRole);
    m_close = buttons->addButton(runtexts::closeButton(), QDialogButtonBox::RejectRole);
    // Enter closes; a run takes a click of its own.
    for (QPushButton* button : {m_runAcad, m_runIcad, m_save})
        button->setAutoDefault(false);
    m_close->setDefault(true);
    connect(m_runAcad, &QPushButton::clicked, this, [this] { run(CadKind::Acad); });
    connect(m_runIcad, &QPushButton::clicked, this, [this] { run(CadKind::Icad); });
    connect(m_save, &QPushButton::clicked, this, &ScriptReviewDialog::saveAs);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(splitter, 1);
    layout->addWidget(buttons);

    const auto stored = [&](const settings::NumberSetting& setting, int fallback) {
        const auto value = m_settings.number(setting);
        return value && *value > 0 ? twips::toPixels(*value, this) : fallback;
    };
    resize(stored(settings::ReviewWidth, defaultWidth), stored(settings::ReviewHeight, defaultHeight));
    m_scriptView->setFocus();
}

ScriptReviewDialog::~ScriptReviewDialog()
{
    // The views and models look at the script and the findings, which go before the children do.
    delete m_scriptView;
    delete m_findingsView;
    delete m_lines;
    delete m_findingsModel;
}

QString ScriptReviewDialog::summary() const
{
    const auto errors = int(std::count_if(m_findings.begin(), m_findings.end(), [](const script::Finding& f) {
        return script::levelOf(f.code) == script::CheckLevel::Error;
    }));
    const int warnings = int(m_findings.size()) - errors;
    const QLocale locale;
    return runtexts::reviewSummary(locale.toString(qlonglong(m_lines->rowCount())), errors, warnings,
                                   locale.toString(errors), locale.toString(warnings));
}

void ScriptReviewDialog::addNote(const QString& note)
{
    m_summary->setText(m_summary->text() + u'\n' + note);
}

void ScriptReviewDialog::showFinding(int row)
{
    if (row < 0 || std::size_t(row) >= m_findings.size())
        return;
    const std::uint64_t line = m_findings[std::size_t(row)].line;
    if (line == 0 || line > std::uint64_t(m_lines->rowCount())) {
        m_scriptView->scrollToTop();
        return;
    }
    const QModelIndex index = m_lines->index(int(line - 1));
    m_scriptView->setCurrentIndex(index);
    m_scriptView->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void ScriptReviewDialog::run(CadKind kind)
{
    if (m_runner && m_runner(kind, m_script))
        accept();
}

void ScriptReviewDialog::saveAs()
{
    const QString initial = nativeText(m_request.listingFolder) + u'/' + QStringLiteral("Vendrel.scr");
    const QString chosen = dialogs::saveFile(this, runtexts::saveScriptTitle(), runtexts::scriptFilter(), initial);
    if (chosen.isEmpty())
        return;
    const std::string path = nativeBytes(chosen);
    if (const script::WriteResult written = script::replaceFile(path, m_script.bytes()); !written) {
        const std::string text = script::texts::scriptNotWritten(pathText(path), pathText(written.error()));
        messagebox::show(
            this, QString::fromUtf8(text.data(), qsizetype(text.size())),
            QString::fromUtf8(script::texts::errorTitle.data(), qsizetype(script::texts::errorTitle.size())),
            messagebox::Icon::Critical);
    }
}

void ScriptReviewDialog::done(int result)
{
    // Kept like the main window's: the next review opens at the size the user left it.
    m_settings.setNumber(settings::ReviewWidth, twips::fromPixels(width(), this));
    m_settings.setNumber(settings::ReviewHeight, twips::fromPixels(height(), this));
    QDialog::done(result);
}
