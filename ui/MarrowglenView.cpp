#include "ui/MarrowglenView.h"

#include "app/settings/ProgramSettings.h"
#include "jobs/ZipDoc.h"
#include "remote/ArchiveSource.h"
#include "ui/Commands.h"
#include "ui/DamagedDlg.h"
#include "ui/EntryListModel.h"
#include "ui/EntryViews.h"
#include "ui/FrameSide.h"
#include "ui/OverwriteDlg.h"
#include "ui/PasswordDlg.h"
#include "ui/Prompts.h"
#include "ui/SignInDlg.h"
#include "ui/WebPages.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

// Rows are found again by this number; it is never reset while the program runs.
std::atomic<uint32_t> g_nextItemNumber{0};

const QColor kListColour(207, 233, 209);

// The Arrange menu's command of a sort code (1 to 7).
int sortCommandOf(int code) {
    return code == sorting::ByMethod ? ID_SORT_METHOD : ID_SORT_NAME + code - 1;
}

} // namespace

uint32_t CMarrowglenView::nextItemNumber() {
    return g_nextItemNumber.load();
}

CMarrowglenView::CMarrowglenView(CZipDoc& doc, ProgramSettings& settings, IFrameSide& frame,
                                 Commands& commands, QWidget* parent)
    : QWidget(parent), doc_(doc), settings_(settings), frame_(frame), commands_(commands),
      model_(new EntryListModel(this)), filter_(new QLineEdit(this)),
      stack_(new QStackedWidget(this)), table_(new EntryTableView(this)),
      icons_(new EntryIconView(this)), sortColumn_(settings.sortMode) {
    model_->setIconProvider([this](int index) { return iconFor(index); });
    setUpList();
    addCommands();
    connect(&doc_, &CZipDoc::documentReset, this, &CMarrowglenView::onDocumentReset);
    resort();
}

CMarrowglenView::~CMarrowglenView() {
    settings_.viewMode = displayType_;
    settings_.sortMode = sortColumn_;
}

void CMarrowglenView::setUpList() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(filter_);
    layout->addWidget(stack_);
    setUpFilter();
    stack_->addWidget(table_);
    stack_->addWidget(icons_);
    table_->setModel(model_);
    icons_->setModel(model_);
    selection_ = table_->selectionModel();
    icons_->setSelectionModel(selection_);
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(table_), static_cast<QAbstractItemView*>(icons_)}) {
        QPalette colours = view->palette();
        colours.setColor(QPalette::Base, kListColour);
        colours.setColor(QPalette::AlternateBase, kListColour);
        view->setPalette(colours);
        connectView(*view);
    }
    QHeaderView* header = table_->header();
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < ColumnCount; ++column)
        header->resizeSection(column, columnWidths[column]);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        headerClicked(column);
        updateSelectedCount();
    });
    setDisplayType(settings_.viewMode);
}

void CMarrowglenView::setUpFilter() {
    filter_->setObjectName("listFilter");
    filter_->setPlaceholderText("Filter by name (Ctrl+F)");
    filter_->setClearButtonEnabled(true);
    filter_->installEventFilter(this);
    connect(filter_, &QLineEdit::textChanged, this, &CMarrowglenView::applyFilter);
}

// Escape in the filter field empties it and goes back to the list.
bool CMarrowglenView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filter_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        filter_->clear();
        currentView().setFocus();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CMarrowglenView::applyFilter(const QString& text) {
    if (text == model_->filter())
        return;
    std::vector<int> selected;
    for (int row : selectedRowNumbers())
        selected.push_back(model_->arrivalOf(row));
    const QModelIndex current = selection_->currentIndex();
    const int currentArrival = current.isValid() ? model_->arrivalOf(current.row()) : -1;

    model_->setFilter(text);

    const std::vector<int> where = model_->shownRowsByArrival();
    std::vector<int> rows;
    for (int arrival : selected)
        if (where[size_t(arrival)] >= 0)
            rows.push_back(where[size_t(arrival)]);
    std::sort(rows.begin(), rows.end());
    // Runs of neighbouring rows make one range each: a selection of every row stays one range.
    QItemSelection kept;
    for (size_t first = 0; first < rows.size();) {
        size_t last = first;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1)
            ++last;
        kept.select(model_->index(rows[first], 0), model_->index(rows[last], ColumnCount - 1));
        first = last + 1;
    }
    selection_->select(kept, QItemSelectionModel::Select);
    if (currentArrival >= 0 && where[size_t(currentArrival)] >= 0)
        selection_->setCurrentIndex(model_->index(where[size_t(currentArrival)], 0),
                                    QItemSelectionModel::NoUpdate);
    updateSelectedCount();
}

void CMarrowglenView::connectView(QAbstractItemView& view) {
    // Enter fires `activated` too: it only updates the count; previews need a double-click.
    connect(&view, &QAbstractItemView::activated, this, &CMarrowglenView::updateSelectedCount);
    connect(&view, &QWidget::customContextMenuRequested, this, &CMarrowglenView::showContextMenu);
    if (auto* tableView = qobject_cast<EntryTableView*>(&view)) {
        connect(tableView, &EntryTableView::mouseActed, this,
                &CMarrowglenView::updateSelectedCount);
        connect(tableView, &EntryTableView::doubleClickedAnywhere, this,
                [this] { commands_.trigger(ID_PREVIEW); });
        connect(tableView, &EntryTableView::dragRequested, this, &CMarrowglenView::dragEntries);
    } else if (auto* iconView = qobject_cast<EntryIconView*>(&view)) {
        connect(iconView, &EntryIconView::mouseActed, this, &CMarrowglenView::updateSelectedCount);
        connect(iconView, &EntryIconView::doubleClickedAnywhere, this,
                [this] { commands_.trigger(ID_PREVIEW); });
        connect(iconView, &EntryIconView::dragRequested, this, &CMarrowglenView::dragEntries);
    }
}

void CMarrowglenView::addCommands() {
    commands_.add(ID_PREVIEW, "Preview", [this] { preview(); });
    commands_.add(ID_EXTRACT_SELECTED, "Extract Selected", [this] { extractSelected(); });
    commands_.add(ID_REFRESH, "Refresh", [this] { onUpdate(); });
    commands_.add(ID_EXTRACT_ZIP, "&Extract Zip File", [this] { extractArchive(); });
    commands_.add(ID_SAVE_ZIP, "&Save Zip File", [this] { saveZipFile(); });
    const struct {
        int id;
        const char* text;
        int type;
    } types[] = {{ID_VIEW_LARGE_ICONS, "Large &Icons", LargeIcons},
                 {ID_VIEW_SMALL_ICONS, "&Small Icons", SmallIcons},
                 {ID_VIEW_LIST, "&List", ListDisplay},
                 {ID_VIEW_TABLE, "&Table", Table}};
    for (const auto& t : types) {
        const int type = t.type;
        commands_.add(t.id, t.text, [this, type] { setDisplayType(type); })->setCheckable(true);
    }
    const char* sortTexts[] = {"by &name",   "by &type", "by &size",  "by &rate",
                               "by &packed", "by &path", "by &method"};
    for (int code = sorting::ByName; code <= sorting::ByMethod; ++code) {
        commands_
            .add(sortCommandOf(code), sortTexts[code - 1],
                 [this, code] {
                     sortDescending_ = false;
                     sortBy(code);
                 })
            ->setCheckable(true);
    }
    QAction* focusFilter = commands_.add(ID_FOCUS_FILTER, "Filter", [this] {
        filter_->setFocus(Qt::ShortcutFocusReason);
        filter_->selectAll();
    });
    focusFilter->setShortcut(QKeySequence::Find);
    addAction(focusFilter); // a shortcut of the whole window, without a menu entry
}

void CMarrowglenView::updateCommands(bool jobRunning) {
    for (int id : {ID_PREVIEW, ID_EXTRACT_SELECTED, ID_REFRESH})
        commands_.setEnabled(id, !jobRunning);
    for (int id : {ID_EXTRACT_ZIP, ID_SAVE_ZIP})
        commands_.setEnabled(id, doc_.isOpen() && !jobRunning);
    commands_.setChecked(ID_VIEW_LARGE_ICONS, displayType_ == LargeIcons);
    commands_.setChecked(ID_VIEW_SMALL_ICONS, displayType_ == SmallIcons);
    commands_.setChecked(ID_VIEW_LIST, displayType_ == ListDisplay);
    commands_.setChecked(ID_VIEW_TABLE, displayType_ == Table);
    for (int code = sorting::ByName; code <= sorting::ByMethod; ++code)
        commands_.setChecked(sortCommandOf(code), sortColumn_ == code);
}

void CMarrowglenView::setIconLookup(std::function<QIcon(const std::string&)> lookup) {
    iconLookup_ = std::move(lookup);
    iconCache_.clear();
}

QIcon CMarrowglenView::iconFor(int iconIndex) {
    static const QIcon programIcon(":/marrowglen/app.png");
    static const QIcon fileIcon = [] {
        QIcon icon(":/marrowglen/file16.png");
        icon.addFile(":/marrowglen/file32.png");
        return icon;
    }();
    if (iconIndex == 0)
        return programIcon;
    if (iconIndex < 0 || !iconLookup_)
        return fileIcon;
    const int known = doc_.iconCache().size();
    if (iconIndex >= known)
        return fileIcon;
    while (int(iconCache_.size()) <= iconIndex) {
        const int slot = int(iconCache_.size());
        iconCache_.push_back(slot == 0 ? programIcon
                                       : iconLookup_(doc_.iconCache().slot(slot).iconKey));
    }
    return iconCache_[size_t(iconIndex)];
}

// --- Messages from the jobs ------------------------------------------------------------------

int CMarrowglenView::sendMessage(const JobMessage& message) {
    switch (message.id) {
    case WM_JOB_STARTED:
        frame_.showProgress();
        frame_.updateCommands();
        return 0;
    case WM_JOB_ENDED:
        frame_.hideProgress();
        frame_.updateCommands();
        return 0;
    case WM_ASK_OVERWRITE: {
        int answer = OverwriteCancel;
        askOverwrite(message, answer);
        return answer;
    }
    case WM_LIST_TOTALS:
        frame_.setPaneText(ID_PANE_TOTAL, QString::fromUtf8(message.wText.text()));
        frame_.setPaneText(ID_PANE_SELECTED, QString::fromUtf8(message.lText.text()));
        return 0;
    case WM_LIST_COMPLETE:
        model_->flush();
        resort();
        return 0;
    case WM_NETWORK_ACTIVITY:
        if (doc_.openJob().isRunning())
            frame_.progressControl().stepIt();
        return 0;
    case WM_OPEN_FAILED:
        doc_.closeArchive();
        return 0;
    case WM_OPEN_SUCCEEDED:
        doc_.setTitle(message.wText);
        return 0;
    case WM_REMOTE_ERROR:
        prompts::messageBox(frame_.mainWindow(), QMessageBox::Information, "Remote file error",
                            QString::fromUtf8(message.wText.text()));
        return 0;
    case WM_ARCHIVE_DAMAGED:
        showDamaged();
        return 0;
    default:
        return 0;
    }
}

void CMarrowglenView::askOverwrite(const JobMessage& message, int& answer) {
    COverwriteDlg dialog(QString::fromUtf8(message.wText.text()), frame_.mainWindow());
    prompts::runModal(dialog);
    answer = dialog.answer == COverwriteDlg::None ? OverwriteCancel : dialog.answer;
}

void CMarrowglenView::showDamaged() {
    CDamagedDlg dialog(frame_.mainWindow());
    if (prompts::runModal(dialog) == QDialog::Accepted)
        prompts::openWithDesktop(webpages::repairProduct());
}

void CMarrowglenView::postMessage(uint32_t id) {
    postRepeated(id, 1);
}

// One queued call for all the repeats: network activity steps the bar by their number.
void CMarrowglenView::postRepeated(uint32_t id, int times) {
    QMetaObject::invokeMethod(
        this,
        [this, id, times] {
            if (id == WM_NETWORK_ACTIVITY) {
                if (doc_.openJob().isRunning())
                    frame_.progressControl().stepBy(times);
                return;
            }
            JobMessage message;
            message.id = id;
            for (int i = 0; i < times; ++i)
                sendMessage(message);
        },
        Qt::QueuedConnection);
}

void CMarrowglenView::addRow(const EntryRow& row) {
    model_->addRow(ListRow::fromEntry(row, g_nextItemNumber++));
}

void CMarrowglenView::addRows(std::vector<EntryRow> rows) {
    std::vector<ListRow> listRows;
    listRows.reserve(rows.size());
    for (const EntryRow& row : rows)
        listRows.push_back(ListRow::fromEntry(row, g_nextItemNumber++));
    model_->addRows(std::move(listRows));
}

void CMarrowglenView::deleteAllItems() {
    model_->clear();
}

void CMarrowglenView::invalidate() {
    currentView().viewport()->update();
}

void CMarrowglenView::hideCancelButton() {
    frame_.hideCancelButton();
}

int CMarrowglenView::messageBox(const MessageBoxRequest& request) {
    QWidget* owner = request.owner == MessageOwner::View ? this : frame_.mainWindow();
    const QMessageBox::Icon icon = request.icon == MessageIcon::Warning ? QMessageBox::Warning
                                   : request.icon == MessageIcon::Question
                                       ? QMessageBox::Question
                                       : QMessageBox::Information;
    const auto buttons = request.buttons == MessageButtons::YesNo
                             ? QMessageBox::Yes | QMessageBox::No
                             : QMessageBox::StandardButtons(QMessageBox::Ok);
    const auto defaultButton = request.defaultAnswer == AnswerNo    ? QMessageBox::No
                               : request.defaultAnswer == AnswerYes ? QMessageBox::Yes
                                                                    : QMessageBox::NoButton;
    const auto answer =
        prompts::messageBox(owner, icon, QString::fromUtf8(request.caption.text()),
                            QString::fromUtf8(request.text.text()), buttons, defaultButton);
    if (answer == QMessageBox::Yes)
        return AnswerYes;
    if (answer == QMessageBox::No)
        return AnswerNo;
    return AnswerOk;
}

void CMarrowglenView::updateFromDocument() {
    filter_->clear(); // an archive was opened: every row shows; Refresh keeps the filter
    onUpdate();
}

std::optional<CredentialAnswer> CMarrowglenView::askCredentials(const CredentialRequest& request) {
    const QString subject = QString::fromStdString(request.subject);
    std::unique_ptr<CGreenDialog> dialog;
    if (request.kind == CredentialRequest::Kind::EntryPassword) {
        dialog = std::make_unique<CPasswordDlg>(subject, request.afterRefusal, frame_.mainWindow());
    } else {
        const auto asker = request.kind == CredentialRequest::Kind::ProxySignIn
                               ? CSignInDlg::Asker::Proxy
                               : CSignInDlg::Asker::Server;
        dialog = std::make_unique<CSignInDlg>(asker, subject, QString::fromStdString(request.user),
                                              request.afterRefusal, frame_.mainWindow());
    }
    // A job told to stop no longer waits for the answer: the question goes away with it.
    QTimer withdrawn;
    if (request.stillWanted) {
        connect(&withdrawn, &QTimer::timeout, dialog.get(), [&] {
            if (!request.stillWanted())
                dialog->reject();
        });
        withdrawn.start(100);
    }
    if (prompts::runModal(*dialog) != QDialog::Accepted)
        return std::nullopt;
    if (auto* password = dynamic_cast<CPasswordDlg*>(dialog.get()))
        return CredentialAnswer{{}, password->password().toStdString()};
    auto* signIn = static_cast<CSignInDlg*>(dialog.get());
    return CredentialAnswer{signIn->user().toStdString(), signIn->password().toStdString()};
}

void CMarrowglenView::onUpdate() {
    model_->clear();
    iconCache_.clear();
    if (doc_.isOpen())
        doc_.startList();
    frame_.updateCommands();
}

void CMarrowglenView::onDocumentReset() {
    filter_->clear();
    model_->clear();
    iconCache_.clear();
    resort();
    frame_.updateCommands();
}

// --- Sorting and display types ---------------------------------------------------------------

void CMarrowglenView::sortBy(int code) {
    sortColumn_ = code;
    model_->sortBy(code, sortDescending_);
    frame_.updateCommands();
}

void CMarrowglenView::resort() {
    if (sorting::isValidCode(sortColumn_))
        sortBy(sortColumn_);
}

void CMarrowglenView::headerClicked(int column) {
    sortDescending_ = sortColumn_ == column + 1 && !sortDescending_;
    sortBy(column + 1);
}

void CMarrowglenView::setDisplayType(int type) {
    switch (type) {
    case Table:
        stack_->setCurrentWidget(table_);
        break;
    case LargeIcons:
        icons_->setViewMode(QListView::ListMode);
        icons_->setFlow(QListView::LeftToRight);
        icons_->setIconSize(QSize(32, 32));
        icons_->setGridSize(QSize(104, 72));
        icons_->setWordWrap(true);
        break;
    case SmallIcons:
        icons_->setViewMode(QListView::ListMode);
        icons_->setFlow(QListView::LeftToRight);
        icons_->setIconSize(QSize(16, 16));
        icons_->setGridSize(QSize(170, 22));
        icons_->setWordWrap(false);
        break;
    case ListDisplay:
        icons_->setViewMode(QListView::ListMode);
        icons_->setFlow(QListView::TopToBottom);
        icons_->setIconSize(QSize(16, 16));
        icons_->setGridSize(QSize(170, 20));
        icons_->setWordWrap(false);
        break;
    default:
        return; // an unknown stored type leaves the display as it is
    }
    if (type != Table) {
        icons_->setLabelsBelowIcons(type == LargeIcons);
        icons_->setMovement(QListView::Static);
        icons_->setDragEnabled(true); // a static list turns dragging off; entries drag out
        icons_->setWrapping(true);
        icons_->setResizeMode(QListView::Adjust);
        stack_->setCurrentWidget(icons_);
    }
    displayType_ = type;
    frame_.updateCommands();
}

QAbstractItemView& CMarrowglenView::currentView() const {
    if (displayType_ == Table)
        return *table_;
    return *icons_;
}

QItemSelectionModel& CMarrowglenView::selection() const {
    return *selection_;
}

int CMarrowglenView::itemCount() const {
    return model_->count();
}
