#include "dialogs/savasfrm.h"

#include "dialogs/controls.h"
#include "dialogs/filetype.h"
#include "dialogs/pictures.h"
#include "ftp/ftp.h"
#include "ftp/ftplist.h"
#include "ftp/listmatch.h"
#include "platform/codepage.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QShowEvent>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

const std::array<const char*, 5> TForm4::TypeFilters = {"", "txt", "htm,html", "jpg,jpeg", "gif"};
std::array<int, 4> TForm4::SortDirections = {1, 1, 1, 1};

namespace {

const QString FolderType = "ファイル フォルダ";
// The bytes a row was made from, for the columns compared as the listing printed them.
constexpr int RawRole = Qt::UserRole + 1;

bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// A name passes a filter when it ends in "." and one of the filter's extensions, in any ASCII case.
bool PassesFilter(std::string_view name, std::string_view filter) {
    if (filter.empty()) return true;
    while (true) {
        const std::size_t comma = filter.find(',');
        const std::string_view extension = filter.substr(0, comma);
        if (name.size() > extension.size() && name[name.size() - extension.size() - 1] == '.' &&
            AsciiEqualNoCase(name.substr(name.size() - extension.size()), extension))
            return true;
        if (comma == std::string_view::npos) return false;
        filter.remove_prefix(comma + 1);
    }
}

// The extension of a name with its dot, or empty when it has none.
std::string Extension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

// The shorter text padded on the left with "0" to the other's length, then compared as names are.
int ComparePadded(const std::string& a, const std::string& b) {
    const std::size_t n = std::max(a.size(), b.size());
    return SystemCompareLocale(std::string(n - a.size(), '0') + a,
                               std::string(n - b.size(), '0') + b);
}

std::string Raw(const QStandardItem* item) {
    return item->data(RawRole).toByteArray().toStdString();
}

QStandardItem* RawItem(const QString& text, const std::string& raw) {
    auto* item = new QStandardItem(text);
    item->setData(QByteArray::fromStdString(raw), RawRole);
    item->setEditable(false);
    return item;
}

} // namespace

TForm4::TForm4(const TStarFtp& ftp, QWidget* parent)
    : TForm4(ftp.FtpServer(), ftp.InitialDirectory, ftp.ServerType, ftp.ListingLines, parent,
             ftp.Utf8Names()) {}

TForm4::TForm4(std::string ftpServer, std::string initialDirectory, TFTPServerType serverType,
               std::vector<std::string> listingLines, QWidget* parent, bool utf8Names)
    : QDialog(parent), FtpServer(std::move(ftpServer)),
      InitialDirectory(std::move(initialDirectory)), ServerType(serverType),
      ListingLines(std::move(listingLines)), Utf8Names(utf8Names) {
    SortDirections = {1, 1, 1, 1};
    setObjectName("Form4");
    setWindowTitle("ファイル名の変更");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setSizeGripEnabled(true);

    Label1 = LaidOut<QLabel>("Label1", "保存する場所(&I): ");
    Edit1 = LaidOut<QLineEdit>("Edit1");
    Edit1->setReadOnly(true);
    Edit1->setBackgroundRole(QPalette::Button);
    QPalette face = Edit1->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    Edit1->setPalette(face);
    Edit1->setText("ftp://" + SystemToQString(FtpServer) +
                   ServerTextToQString(InitialDirectory, Utf8Names));
    Label1->setBuddy(Edit1);

    SpeedButton1 = LaidOut<QToolButton>("SpeedButton1");
    SpeedButton1->setIcon(ListViewPicture());
    SpeedButton1->setToolTip("一覧");
    SpeedButton2 = LaidOut<QToolButton>("SpeedButton2");
    SpeedButton2->setIcon(DetailViewPicture());
    SpeedButton2->setToolTip("詳細");
    auto* views = new QButtonGroup(this);
    for (QToolButton* b : {SpeedButton1, SpeedButton2}) {
        b->setCheckable(true);
        b->setAutoRaise(true);
        views->addButton(b);
    }
    SpeedButton1->setChecked(true);

    Rows = new QStandardItemModel(0, 4, this);
    Rows->setHorizontalHeaderLabels({"名前", "サイズ", "種類", "更新日時"});
    Rows->horizontalHeaderItem(1)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ListView1 = LaidOut<QStackedWidget>("ListView1");
    ListMode = new QListView;
    ListMode->setObjectName("ListMode");
    ListMode->setModel(Rows);
    ListMode->setViewMode(QListView::ListMode);
    ListMode->setFlow(QListView::TopToBottom);
    ListMode->setWrapping(true);
    ListMode->setResizeMode(QListView::Adjust);
    ListMode->setIconSize(QSize(16, 16));
    ListMode->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DetailMode = new QTreeView;
    DetailMode->setObjectName("DetailMode");
    DetailMode->setModel(Rows);
    DetailMode->setSelectionModel(ListMode->selectionModel());
    DetailMode->setRootIsDecorated(false);
    DetailMode->setUniformRowHeights(true);
    DetailMode->setIconSize(QSize(16, 16));
    DetailMode->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DetailMode->setSortingEnabled(false);
    DetailMode->header()->setSectionsClickable(true);
    DetailMode->header()->setStretchLastSection(false);
    ListView1->addWidget(ListMode);
    ListView1->addWidget(DetailMode);

    Label2 = LaidOut<QLabel>("Label2", "ファイル名(&N):");
    Edit2 = LaidOut<QLineEdit>("Edit2");
    Label2->setBuddy(Edit2);
    Label3 = LaidOut<QLabel>("Label3", "ファイルの種類(&T):");
    ComboBox1 = LaidOut<QComboBox>("ComboBox1");
    ComboBox1->addItems({"すべてのファイル (*.*)", "Text file (*.txt)", "HTML file (*.htm;*.html)",
                         "JPEG file (*.jpg;*.jpeg)", "GIF file (*.gif)"});
    ComboBox1->setCurrentIndex(0);
    Label3->setBuddy(ComboBox1);
    Button2 = LaidOut<QPushButton>("Button2", "保存(&S)");
    Button2->setDefault(true);
    Button1 = LaidOut<QPushButton>("Button1", "キャンセル");

    auto* layout = new QGridLayout(this);
    auto* place = new QHBoxLayout;
    place->addWidget(Edit1, 1);
    place->addWidget(SpeedButton1);
    place->addWidget(SpeedButton2);
    layout->addWidget(Label1, 0, 0);
    layout->addLayout(place, 0, 1, 1, 2);
    layout->addWidget(ListView1, 1, 0, 1, 3);
    layout->addWidget(Label2, 2, 0);
    layout->addWidget(Edit2, 2, 1);
    layout->addWidget(Button2, 2, 2);
    layout->addWidget(Label3, 3, 0);
    layout->addWidget(ComboBox1, 3, 1);
    layout->addWidget(Button1, 3, 2);
    layout->setRowStretch(1, 1);
    layout->setColumnStretch(1, 1);

    setTabOrder(Edit1, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, ListView1);
    setTabOrder(ListView1, Edit2);
    setTabOrder(Edit2, ComboBox1);

    connect(SpeedButton1, &QToolButton::toggled, this, [this](bool on) {
        if (on) ListView1->setCurrentWidget(ListMode);
    });
    connect(SpeedButton2, &QToolButton::toggled, this, [this](bool on) {
        if (on) ListView1->setCurrentWidget(DetailMode);
    });
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(ListMode), static_cast<QAbstractItemView*>(DetailMode)}) {
        connect(view, &QAbstractItemView::clicked, this,
                [this](const QModelIndex& index) { RowClick(index.row()); });
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& index) { RowDoubleClick(index.row()); });
    }
    // A row reached with the arrow keys is taken as a click would take it; Enter then saves.
    connect(ListMode->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                if (!refilling) RowClick(index.row());
            });
    connect(DetailMode->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { SortByColumn(column); });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { FillList(); });
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button2, &QPushButton::clicked, this, [this] { ConfirmName(); });

    FillList();
    FitColumns();
    SetStartSize(this, {497, 217});
}

void TForm4::FitColumns() {
    // Sizes, types and dates whole; the names take what the dialog's width leaves them, never
    // less than a short name needs.
    constexpr int least[4] = {205, 55, 75, 140};
    constexpr int leastName = 100;
    QHeaderView* header = DetailMode->header();
    const QAbstractItemView* view = DetailMode;
    int width = leastName;
    for (int c = 0; c < 4; ++c) {
        const int fit = c == 0 ? 0 : view->sizeHintForColumn(c) + 8;
        DetailMode->setColumnWidth(c, std::max({least[c], fit, header->sectionSizeHint(c)}));
        if (c > 0) width += DetailMode->columnWidth(c);
    }
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    const int row = std::max(view->sizeHintForRow(0), DetailMode->fontMetrics().height() + 4);
    const int frame = 2 * DetailMode->frameWidth();
    ListView1->setMinimumSize(width + frame + DetailMode->verticalScrollBar()->sizeHint().width(),
                              header->sizeHint().height() + VisibleRows * row + frame);
}

void TForm4::FillList() {
    const QScopedValueRollback<bool> guard(refilling, true);
    Rows->removeRows(0, Rows->rowCount());
    const int choice = std::clamp(ComboBox1->currentIndex(), 0, int(TypeFilters.size()) - 1);
    const std::string_view filter = TypeFilters[choice];
    // One look-up per extension, however many files share it.
    QHash<QString, std::pair<QIcon, QString>> types;
    const QIcon folderIcon = FolderIcon();

    TListState state;
    std::string name, size, date;
    bool isDirectory = false;
    for (const std::string& line : ListingLines) {
        if (!ParseListLine(ServerType, line, name, size, date, isDirectory, state)) continue;
        QList<QStandardItem*> row;
        if (isDirectory) {
            if (name == "." || name == "..") continue;
            row << RawItem(Shown(name), name) << RawItem(QString(), std::string())
                << new QStandardItem(FolderType);
            row[0]->setIcon(folderIcon);
        } else {
            if (!PassesFilter(name, filter)) continue;
            const QString extension = Shown(Extension(name));
            auto found = types.find(extension);
            if (found == types.end()) {
                // Only the extension is asked about, under a stand-in name: a name that is all
                // extension would count as a hidden file without one.
                const QString standIn = "file" + extension;
                QString typeName = FileTypeName(standIn);
                if (typeName.isEmpty()) typeName = extension + " ファイル";
                found = types.insert(extension, {FileTypeIcon(standIn), typeName});
            }
            row << RawItem(Shown(name), name) << RawItem(Shown(size), size)
                << new QStandardItem(found->second);
            row[0]->setIcon(found->first);
        }
        row << RawItem(Shown(date), date);
        row[1]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row[2]->setEditable(false);
        Rows->appendRow(row);
    }
}

void TForm4::ConfirmName() {
    const std::optional<std::string> name = Name();
    if (!name) {
        QMessageBox::warning(
            this, "Error",
            QString("'%1' はサーバーの文字コード (Shift_JIS) で表せない文字を含むため使えません")
                .arg(Edit2->text()));
        return;
    }
    for (int row = 0; row < Rows->rowCount(); ++row) {
        // A VMS or VM server would store the name over an entry listed in capitals.
        if (!SameRemoteName(ServerType, Raw(Rows->item(row, 0)), *name)) continue;
        QMessageBox question(QMessageBox::Warning, "ファイルの上書きの確認",
                             Rows->item(row, 0)->text() + "は既に存在します。\n上書きしますか?",
                             QMessageBox::Yes | QMessageBox::No, this);
        question.setDefaultButton(QMessageBox::Yes);
        KeepAboveStayOnTopWindows(&question);
        if (question.exec() != QMessageBox::Yes) return;
    }
    accept();
}

void TForm4::SortByColumn(int column) {
    if (column < 0 || column >= int(SortDirections.size())) return;
    const QScopedValueRollback<bool> guard(refilling, true);
    const int direction = SortDirections[column] = -SortDirections[column];
    QList<QList<QStandardItem*>> rows;
    while (Rows->rowCount() > 0)
        rows << Rows->takeRow(0);
    const auto compare = [column](const QList<QStandardItem*>& a, const QList<QStandardItem*>& b) {
        int result = 0;
        switch (column) {
        case 1:
            result = ComparePadded(Raw(a[1]), Raw(b[1]));
            break;
        case 2:
            result = QString::localeAwareCompare(a[2]->text(), b[2]->text());
            break;
        case 3:
            result = ComparePadded(Raw(a[3]), Raw(b[3]));
            break;
        default:
            break;
        }
        return result != 0 ? result : QString::localeAwareCompare(a[0]->text(), b[0]->text());
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const auto& a, const auto& b) { return compare(a, b) * direction < 0; });
    for (const QList<QStandardItem*>& row : rows)
        Rows->appendRow(row);
}

std::optional<std::string> TForm4::Name() const {
    const QString text = Edit2->text();
    if (!picked.empty() && text == Shown(picked)) return picked;
    return QStringToServerText(text, Utf8Names);
}

QString TForm4::Shown(std::string_view text) const {
    return ServerTextToQString(text, Utf8Names);
}

int TForm4::RowCount() const {
    return Rows->rowCount();
}

QString TForm4::RowText(int row, int column) const {
    const QStandardItem* item = Rows->item(row, column);
    return item ? item->text() : QString();
}

void TForm4::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    PlaceOnScreen(this);
    Edit2->setFocus();
}

bool TForm4::IsFolderRow(int row) const {
    return RowText(row, 2) == FolderType;
}

void TForm4::RowClick(int row) {
    if (row < 0 || IsFolderRow(row)) return;
    picked = Raw(Rows->item(row, 0));
    Edit2->setText(Rows->item(row, 0)->text());
}

void TForm4::RowDoubleClick(int row) {
    if (row < 0 || IsFolderRow(row)) return;
    RowClick(row);
    ConfirmName();
}

void TForm4::setVisible(bool visible) {
    if (visible && !isVisible()) KeepAboveStayOnTopWindows(this);
    QDialog::setVisible(visible);
}
