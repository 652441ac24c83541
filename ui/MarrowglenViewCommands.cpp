// The list view's commands on entries (preview, extract, save) and its context menus.
#include "ui/MarrowglenView.h"

#include "app/settings/ProgramSettings.h"
#include "jobs/ZipDoc.h"
#include "remote/ArchiveSource.h"
#include "ui/Commands.h"
#include "ui/EntryDrag.h"
#include "ui/EntryListModel.h"
#include "ui/EntryViews.h"
#include "ui/FrameSide.h"
#include "ui/Prompts.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QScopedValueRollback>

#include <algorithm>

namespace {

String toString(const QString& text) {
    return String(text.toUtf8().toStdString());
}

} // namespace

// --- Entries and the commands on them --------------------------------------------------------

std::vector<int> CMarrowglenView::selectedRowNumbers() const {
    // The table selects whole rows, the icon and list displays only the name cell: a row
    // counts as selected when its name cell is.
    std::vector<int> rows;
    for (const QModelIndex& index : selection_->selectedIndexes())
        if (index.column() == ColName)
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

String CMarrowglenView::entryNameOfRow(int index) const {
    return entryNameOf(model_->row(index));
}

String CMarrowglenView::entryNameOf(const ListRow& row) {
    QString path = row.cells[ColPath];
    if (!path.isEmpty() && !path.endsWith('/'))
        path += '/';
    return toString(path + row.cells[ColName]);
}

std::vector<String> CMarrowglenView::selectedEntryNames() const {
    model_->flush();
    std::vector<String> names;
    for (int row : selectedRowNumbers())
        names.push_back(entryNameOfRow(row));
    return names;
}

std::vector<String> CMarrowglenView::allEntryNames() const {
    model_->flush();
    std::vector<String> names;
    names.reserve(size_t(model_->totalCount()));
    for (const ListRow* row : model_->allRows())
        names.push_back(entryNameOf(*row));
    return names;
}

void CMarrowglenView::updateSelectedCount() {
    if (!doc_.isOpen())
        return;
    const auto count = selectedRowNumbers().size();
    frame_.setPaneText(ID_PANE_SELECTED, QString("Selected files: %1").arg(count));
}

void CMarrowglenView::preview() {
    const std::vector<String> names = selectedEntryNames();
    if (!names.empty())
        doc_.startExtract(names, settings_.tmpFolder, true, true, false);
    frame_.updateCommands();
}

void CMarrowglenView::extractSelected() {
    extractTo(selectedEntryNames());
}

void CMarrowglenView::extractArchive() {
    if (doc_.isOpen())
        extractTo(allEntryNames());
}

void CMarrowglenView::extractTo(const std::vector<String>& names) {
    if (names.empty())
        return;
    const QString folder = prompts::chooseFolder(frame_.mainWindow(), "Extract to folder");
    if (folder.isEmpty())
        return;
    // Paths inside the archive are kept below the chosen folder; existing files are asked
    // about one by one.
    doc_.startExtract(names, toString(folder), false, false, false);
    frame_.updateCommands();
}

void CMarrowglenView::saveZipFile() {
    if (model_->totalCount() == 0) // the whole archive, whatever the filter shows
        return;
    const QString proposed = QString::fromStdString(doc_.source().remoteFileName()).left(2047);
    const QString path = prompts::chooseSaveFile(frame_.mainWindow(), "Save Zip File", proposed,
                                                 "Zip archives (*.zip);;All Files (*)", "zip");
    if (path.isEmpty())
        return;
    doc_.startSave(toString(path));
    frame_.updateCommands();
}

void CMarrowglenView::dragEntries() {
    // The mouse keeps moving while the entries are extracted: one drag at a time.
    if (dragging_)
        return;
    const QScopedValueRollback guard(dragging_, true);
    EntryDrag drag(doc_, QString::fromUtf8(settings_.tmpFolder.text()), frame_.mainWindow());
    if (!drag.startExtraction(selectedEntryNames()))
        return;
    frame_.updateCommands();
    std::unique_ptr<QMimeData> data = drag.finish();
    // A button let go during the extraction ended the gesture: a drag begun now would
    // stick to the pointer until the next click.
    if (data && (QGuiApplication::mouseButtons() & Qt::LeftButton))
        EntryDrag::run(currentView(), std::move(data));
}

// --- Context menus -------------------------------------------------------------------------

void CMarrowglenView::showContextMenu(const QPoint& viewportPos) {
    updateSelectedCount(); // a right-click counts like a click
    QMenu* menu = contextMenuFor(viewportPos);
    if (menu != nullptr)
        menu->popup(currentView().viewport()->mapToGlobal(viewportPos));
}

QMenu* CMarrowglenView::contextMenuFor(const QPoint& viewportPos) {
    delete lastMenu_;
    lastMenu_ = nullptr;
    if (!doc_.isOpen())
        return nullptr;
    const bool onRow = currentView().indexAt(viewportPos).isValid();
    lastMenu_ = onRow ? rowMenu() : spaceMenu();
    return lastMenu_;
}

namespace {

// A menu entry with its own text for a shared command.
void addAlias(QMenu& menu, const Commands& commands, int id, const QString& text) {
    QAction* command = commands.action(id);
    QAction* alias = menu.addAction(text, command, &QAction::trigger);
    alias->setEnabled(command->isEnabled());
}

} // namespace

QMenu* CMarrowglenView::rowMenu() {
    auto* menu = new QMenu("POPUP", frame_.mainWindow());
    menu->addAction(commands_.action(ID_EXTRACT_SELECTED));
    menu->addSeparator();
    menu->addAction(commands_.action(ID_REFRESH));
    menu->addSeparator();
    addAlias(*menu, commands_, ID_EXTRACT_ZIP, "Extract Archive");
    menu->addAction(commands_.action(ID_SAVE_ZIP));
    menu->addSeparator();
    buildViewAndArrangeMenus(*menu);
    return menu;
}

QMenu* CMarrowglenView::spaceMenu() {
    auto* menu = new QMenu("POPUPOUT", frame_.mainWindow());
    menu->addAction(commands_.action(ID_REFRESH));
    menu->addSeparator();
    menu->addAction(commands_.action(ID_SAVE_ZIP));
    addAlias(*menu, commands_, ID_EXTRACT_ZIP, "Extract Zip File");
    menu->addSeparator();
    buildViewAndArrangeMenus(*menu);
    return menu;
}

void CMarrowglenView::buildViewAndArrangeMenus(QMenu& menu) {
    QMenu* view = menu.addMenu("View");
    for (int id : {ID_VIEW_LARGE_ICONS, ID_VIEW_SMALL_ICONS, ID_VIEW_LIST, ID_VIEW_TABLE})
        view->addAction(commands_.action(id));
    QMenu* arrange = menu.addMenu("Arrange");
    for (int id = ID_SORT_NAME; id <= ID_SORT_PATH; ++id)
        arrange->addAction(commands_.action(id));
    arrange->addAction(commands_.action(ID_SORT_METHOD));
}
