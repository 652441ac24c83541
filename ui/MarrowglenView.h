// The archive list: one row per file of the open archive, in one of four display types,
// sorted by the user's choice. It receives every message of the worker jobs (on the
// user-interface thread) and carries the commands that act on entries.
#pragma once

#include "jobs/JobView.h"
#include "ui/CommandIds.h"

#include <QIcon>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class CZipDoc;
class Commands;
class EntryIconView;
class EntryListModel;
class EntryTableView;
class IFrameSide;
class ProgramSettings;
class QAbstractItemView;
class QItemSelectionModel;
class QLineEdit;
struct ListRow;
class QMenu;
class QStackedWidget;
class String;

class CMarrowglenView : public QWidget, public IJobView {
    Q_OBJECT
public:
    static constexpr int columnWidths[7] = {120, 120, 95, 70, 80, 108, 110};

    CMarrowglenView(CZipDoc& doc, ProgramSettings& settings, IFrameSide& frame, Commands& commands,
                    QWidget* parent = nullptr);
    ~CMarrowglenView() override;

    // Icons of the cache's slots by their key; the program's own icon for slot 0.
    void setIconLookup(std::function<QIcon(const std::string& key)> lookup);

    // IJobView, on the user-interface thread.
    int sendMessage(const JobMessage& message) override;
    void postMessage(uint32_t id) override;
    void postRepeated(uint32_t id, int times) override;
    void addRow(const EntryRow& row) override;
    void addRows(std::vector<EntryRow> rows) override;
    void deleteAllItems() override;
    void invalidate() override;
    void hideCancelButton() override;
    int messageBox(const MessageBoxRequest& request) override;
    void updateFromDocument() override;
    std::optional<CredentialAnswer> askCredentials(const CredentialRequest& request) override;

    // The framework's update: empties the list and lists the archive again when one is open.
    void onUpdate();
    // A new, empty document: empty the list and re-apply the sort order.
    void onDocumentReset();
    void sortBy(int code);
    void resort();
    void headerClicked(int column);
    void setDisplayType(int type);
    int displayType() const { return displayType_; }
    int sortColumn() const { return sortColumn_; }
    bool sortDescending() const { return sortDescending_; }
    // Rows shown: the filter's rows while it holds text.
    int itemCount() const;
    // Entry names of the selected rows, in list order, as the archive names them.
    std::vector<String> selectedEntryNames() const;
    // Every entry of the list, in list order, whatever the filter shows.
    std::vector<String> allEntryNames() const;
    // Model rows whose entry is selected, in list order, in every display type.
    std::vector<int> selectedRowNumbers() const;
    void updateSelectedCount();
    // Enabling and check marks of the view's commands.
    void updateCommands(bool jobRunning);

    // Commands.
    void preview();
    void extractSelected();
    void extractArchive();
    void saveZipFile();
    // The selected entries dragged out of the list (ui/EntryDrag.h).
    void dragEntries();

    EntryListModel& model() { return *model_; }
    EntryTableView& table() { return *table_; }
    EntryIconView& icons() { return *icons_; }
    QAbstractItemView& currentView() const;
    QLineEdit& filterField() { return *filter_; }
    // Narrows the list to the entries whose folder and name contain `text`; the selected rows
    // that stay shown stay selected.
    void applyFilter(const QString& text);
    QItemSelectionModel& selection() const;
    // Test seam: the context menu last built for a position in the current view (null when
    // none was shown), without showing it.
    QMenu* contextMenuFor(const QPoint& viewportPos);

    static uint32_t nextItemNumber();

private:
    void setUpList();
    void setUpFilter();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void addCommands();
    void connectView(QAbstractItemView& view);
    void showContextMenu(const QPoint& viewportPos);
    void buildViewAndArrangeMenus(QMenu& menu);
    QMenu* rowMenu();
    QMenu* spaceMenu();
    QIcon iconFor(int iconIndex);
    void extractTo(const std::vector<String>& names);
    String entryNameOfRow(int row) const;
    static String entryNameOf(const ListRow& row);
    void askOverwrite(const JobMessage& message, int& answer);
    void showDamaged();

    CZipDoc& doc_;
    ProgramSettings& settings_;
    IFrameSide& frame_;
    Commands& commands_;
    EntryListModel* model_;
    QLineEdit* filter_;
    QStackedWidget* stack_;
    EntryTableView* table_;
    EntryIconView* icons_;
    QItemSelectionModel* selection_;
    QMenu* lastMenu_ = nullptr;
    std::function<QIcon(const std::string&)> iconLookup_;
    std::vector<QIcon> iconCache_;
    bool sortDescending_ = false;
    int sortColumn_;
    int displayType_ = Table;
    bool dragging_ = false;
};
