#include "app/ftpfrm.h"

#include "app/myinifile.h"
#include "app/settings.h"
#include "app/trash.h"
#include "crypto/deskey.h"
#include "dialogs/controls.h"
#include "dialogs/modefrm.h"
#include "dialogs/pass.h"
#include "platform/codepage.h"
#include "platform/dirsearch.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <charconv>
#include <climits>
#include <memory>

namespace {

// What a new profile shows before the user types its real values.
const char* const PlaceholderHost = "ftp.example.com";
const char* const PlaceholderMail = "anonymous@example.com";

// A store that may be missing or unreadable: then every key reads as its default, as for an empty
// file.
class TReader {
  public:
    explicit TReader(const std::string& path) {
        try {
            ini = std::make_unique<TMyMemIniFile>(path);
        } catch (const EIniFileError&) {
        }
    }
    std::string Str(std::string_view section, std::string_view key, std::string_view def) const {
        return ini ? ini->ReadString(section, key, def) : std::string(def);
    }
    int Int(std::string_view section, std::string_view key, int def) const {
        return ini ? ini->ReadInteger(section, key, def) : def;
    }
    bool Bool(std::string_view section, std::string_view key, bool def) const {
        return ini ? ini->ReadBool(section, key, def) : def;
    }

  private:
    std::unique_ptr<TMyMemIniFile> ini;
};

// A control's text as the files hold it: in the system code page, on one line.
std::optional<std::string> StorableText(const QString& text) {
    if (text.contains('\r') || text.contains('\n')) return std::nullopt;
    return QStringToSystem(text);
}

} // namespace

std::optional<int> ParseInteger(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    if (end - begin > 1 && *begin == '+' && begin[1] != '-') ++begin;
    int value = 0;
    const auto [ptr, error] = std::from_chars(begin, end, value);
    if (begin == end || error != std::errc() || ptr != end) return std::nullopt;
    return value;
}

TForm1::TForm1(TParams params, QWidget* parent) : QWidget(parent), Params(std::move(params)) {
    setObjectName("Form1");
    setWindowTitle("Wendup FTP uploader");
    CreateControls();
    ConnectStarFtp1();
    setAcceptDrops(true);
    ComboBox1->installEventFilter(this);
    SetMode(SetupMode);

    // FormCreate.
    NoFolderQuestion = true;
    const TKeyRequest key = KeyOption(Params);
    if (key.Option == TKeyOption::CreateKey)
        StoreMachineKey(key.Text);
    else if (key.Option == TKeyOption::ClearKey)
        ClearMachineKey();
    DES1.SetKey(GetMachineKey());
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    // The top row sits in the middle of the 64-pixel chooser; the editor starts below it.
    const int top = 18;
    Label6 = MakeControl<QLabel>(this, "Label6", "プロファイル名", 10, top, 96, 26);
    ComboBox1 = MakeControl<QComboBox>(this, "ComboBox1", 108, top, 300, 26);
    ComboBox1->setToolTip("登録したサーバー名等が表示されます");
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    CheckBox3 = MakeControl<QCheckBox>(this, "CheckBox3", "デフォルト", 418, top, 96, 26);
    CheckBox3->setToolTip("普段使うサーバーではチェックしてください");
    Button6 = MakeControl<QPushButton>(this, "Button6", "詳細 ▼", 520, top, 84, 26);
    Button6->setToolTip("設定変更、追加するとき押してください");
    Button4 = MakeControl<QPushButton>(this, "Button4", "転送", 610, top, 80, 26);
    Button4->setToolTip("ファイルを転送します");

    Editor = MakeControl<QWidget>(this, "Editor", 0, 52, FullWidth, EditorHeight - 52);

    // The left column holds the profile's server and transfer choices down to Bevel1; below it
    // the program's own settings.
    GroupBox1 = MakeControl<QGroupBox>(Editor, "GroupBox1", 10, 0, 382, 80);
    GroupBox1->setTitle("サーバ情報");
    Label1 = MakeControl<QLabel>(GroupBox1, "Label1", "サーバ名", 10, 20, 70, 24);
    Edit1 = MakeControl<QLineEdit>(GroupBox1, "Edit1", PlaceholderHost, 82, 20, 290, 24);
    Edit1->setToolTip("サーバーのURLまたはIPアドレスを入力します");
    Label2 = MakeControl<QLabel>(GroupBox1, "Label2", "ポート", 10, 48, 70, 24);
    Edit2 = MakeControl<QLineEdit>(GroupBox1, "Edit2", "21", 82, 48, 60, 24);
    Edit2->setToolTip("普通のサーバーでは21です");
    CheckBox5 = MakeControl<QCheckBox>(GroupBox1, "CheckBox5", "PWD", 150, 48, 62, 24);
    CheckBox5->setToolTip("普通のサーバーではチェックしてください");
    CheckBox5->setChecked(true);
    CheckBox7 = MakeControl<QCheckBox>(GroupBox1, "CheckBox7", "PASV", 214, 48, 64, 24);
    CheckBox7->setToolTip("パッシブモードで接続します (ファイアウォールやルーターの内側から)");

    Label8 = MakeControl<QLabel>(Editor, "Label8", "同名ファイルの処理", 10, 86, 118, 26);
    ComboBox2 = MakeControl<QComboBox>(Editor, "ComboBox2", 130, 86, 262, 26);
    ComboBox2->setToolTip("PWDをサポートしない場合は無効です");
    ComboBox2->addItems({"新しい日付のときは転送", "名前を変えて転送", "転送しない", "上書きする",
                         "その都度確認する"});
    ComboBox2->setCurrentIndex(3); // as a profile without the key reads
    Label9 = MakeControl<QLabel>(Editor, "Label9", "転送モード", 10, 116, 66, 26);
    ComboBox3 = MakeControl<QComboBox>(Editor, "ComboBox3", 78, 116, 250, 26);
    ComboBox3->setToolTip("テキストモードのとき、コード変換するか設定します");
    ComboBox3->addItems({"自動(設定に従う)", "すべてバイナリ", "すべてAscii", "自動、テキストはJIS",
                         "自動、テキストはSJIS", "自動、テキストはEUC", "自動、テキストはUTF-8"});
    ComboBox3->setCurrentIndex(0);
    Button8 = MakeControl<QPushButton>(Editor, "Button8", "設定...", 332, 116, 60, 26);
    CheckBox8 =
        MakeControl<QCheckBox>(Editor, "CheckBox8", "一時ファイル名で転送", 10, 143, 156, 24);
    CheckBox8->setToolTip("一時的な名前で転送し、完了してから本来の名前に変更します");
    CheckBox8->setChecked(true); // "anonymous" starts cleared
    CheckBox10 = MakeControl<QCheckBox>(Editor, "CheckBox10", "更新日時を保持", 170, 143, 120, 24);
    CheckBox10->setToolTip("サーバー上のファイルの更新日時を元のファイルと同じにします (サーバーが "
                           "MFMT に対応しているとき)");
    CheckBox10->setChecked(true);
    CheckBox9 = MakeControl<QCheckBox>(Editor, "CheckBox9", "FTPS (TLS)", 294, 143, 98, 24);
    CheckBox9->setToolTip("パスワードとファイルを TLS で暗号化して送ります (サーバーが FTPS に"
                          "対応しているとき)");

    GroupBox2 = MakeControl<QGroupBox>(Editor, "GroupBox2", 400, 0, 290, 146);
    GroupBox2->setTitle("ユーザ情報");
    Label4 = MakeControl<QLabel>(GroupBox2, "Label4", "ユーザ名", 10, 22, 76, 24);
    Edit3 = MakeControl<QLineEdit>(GroupBox2, "Edit3", 88, 22, 90, 24);
    Edit3->setToolTip("ログインユーザ名を入力します");
    CheckBox1 = MakeControl<QCheckBox>(GroupBox2, "CheckBox1", "anonymous", 184, 22, 100, 24);
    CheckBox1->setToolTip("anonymous ftpサイトの場合入力します");
    Label5 = MakeControl<QLabel>(GroupBox2, "Label5", "パスワード", 10, 52, 76, 24);
    Edit4 = MakeControl<QLineEdit>(GroupBox2, "Edit4", 88, 52, 90, 24);
    Edit4->setToolTip("ログイン先パスワードを入力します");
    Edit4->setEchoMode(QLineEdit::Password);
    Edit4->setMaxLength(32);
    Edit4->setStyleSheet("lineedit-password-character: 42"); // "*"
    CheckBox2 = MakeControl<QCheckBox>(GroupBox2, "CheckBox2", "保存", 184, 52, 100, 24);
    CheckBox2->setToolTip("パスワードを保存します");
    Label3 = MakeControl<QLabel>(GroupBox2, "Label3", "メール", 10, 82, 76, 24);
    Edit5 = MakeControl<QLineEdit>(GroupBox2, "Edit5", PlaceholderMail, 88, 82, 192, 24);
    Edit5->setToolTip("anonymous ftpサイトでメールアドレスを入力します");
    Edit5->setEnabled(false); // "anonymous" starts cleared
    Label7 = MakeControl<QLabel>(GroupBox2, "Label7", "ディレクトリ", 10, 112, 76, 24);
    Edit6 = MakeControl<QLineEdit>(GroupBox2, "Edit6", 88, 112, 192, 24);
    Edit6->setToolTip("ログイン先ディレクトリを設定します");

    Label11 = MakeControl<QLabel>(Editor, "Label11", "ファイル名の文字コード", 400, 147, 130, 22);
    ComboBox4 = MakeControl<QComboBox>(Editor, "ComboBox4", 532, 147, 158, 22);
    ComboBox4->setToolTip("サーバーに送るファイル名の文字コードです。自動: サーバーが UTF-8 "
                          "に対応していれば UTF-8");
    ComboBox4->addItems({"自動", "UTF-8", "Shift_JIS", "転送モードに従う"});
    ComboBox4->setCurrentIndex(0);

    Bevel1 = MakeControl<QFrame>(Editor, "Bevel1", 10, 169, 680, 2);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    CheckBox4 = MakeControl<QCheckBox>(
        Editor, "CheckBox4", "エクスプローラの「送る」にWendup FTPを登録", 10, 172, 340, 24);
    CheckBox4->setToolTip("ファイルを右クリックして転送できるようになります");
    CheckBox4->setChecked(true);
    Label10 = MakeControl<QLabel>(Editor, "Label10", "タイムアウト時間(sec)", 466, 172, 146, 24);
    Label10->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    SpinEdit1 = MakeControl<QSpinBox>(Editor, "SpinEdit1", 616, 172, 74, 24);
    SpinEdit1->setRange(INT_MIN, INT_MAX);
    SpinEdit1->setValue(30);

    Button3 = MakeControl<QPushButton>(Editor, "Button3", "新規", 10, 198, 76, 24);
    Button3->setToolTip("新規プロファイルを作成します");
    Button5 = MakeControl<QPushButton>(Editor, "Button5", "削除", 92, 198, 76, 24);
    Button5->setToolTip("このプロファイルを削除します");
    // A setting of the program, not of the profile: it goes with the buttons that save it.
    CheckBox6 = MakeControl<QCheckBox>(Editor, "CheckBox6", "フォルダごと転送", 180, 198, 240, 24);
    CheckBox6->setToolTip("PWDをサポートしない場合は無効です");
    Button1 = MakeControl<QPushButton>(Editor, "Button1", "設定", 532, 198, 76, 24);
    Button1->setToolTip("保存して終了します");
    Button2 = MakeControl<QPushButton>(Editor, "Button2", "終了", 614, 198, 76, 24);
    Button2->setToolTip("保存せずに終了します");

    Panel1 = MakeControl<QWidget>(this, "Panel1", 0, 0, 200, 100);
    Panel1->setAutoFillBackground(true);
    Panel1->hide();
    Panel2 = MakeControl<QLabel>(Panel1, "Panel2", "接続中...", 0, 0, 200, 100);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel2->setAlignment(Qt::AlignCenter);
    Panel2->setWordWrap(true);
    Panel2->setCursor(Qt::WaitCursor);
    Button7 = MakeControl<QPushButton>(Panel2, "Button7", "ログ", 146, 4, 50, 24);
    Button7->setToolTip("実際の送受信文字列を表示します。");
    Button7->setCursor(Qt::ArrowCursor);
    Button9 = MakeControl<QPushButton>(Panel2, "Button9", "キャンセル", 62, 70, 76, 24);
    Button9->setToolTip("転送を中止します");
    Button9->setCursor(Qt::ArrowCursor);
    Memo1 = MakeControl<QPlainTextEdit>(Panel1, "Memo1", 0, 40, 200, 60);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->hide();

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    connect(Button8, &QPushButton::clicked, this, [this] { Button8Click(); });
    connect(Button9, &QPushButton::clicked, this, [this] { Button9Click(); });
    // Every change of the profile list's text that the program does not make itself.
    connect(ComboBox1, &QComboBox::currentTextChanged, this, [this] { ComboBox1Change(); });
    connect(ComboBox2, &QComboBox::activated, this, [this](int index) { ComboBox2Change(index); });
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    connect(CheckBox5, &QCheckBox::clicked, this, [this] { CheckBox5Click(); });
}

TPasswordDlg& TForm1::PasswordPrompt() {
    if (!PasswordDlg) {
        ownPasswordDlg = std::make_unique<TPasswordDlg>();
        PasswordDlg = ownPasswordDlg.get();
    }
    return *PasswordDlg;
}

TForm5& TForm1::TextModeDialog() {
    if (!Form5) {
        ownForm5 = std::make_unique<TForm5>();
        Form5 = ownForm5.get();
    }
    return *Form5;
}

QFileDialog* TForm1::OpenDialog() {
    if (!OpenDialog1) {
        OpenDialog1 =
            new QFileDialog(this, "転送するファイルの選択", QString(), "すべてのファイル (*)");
        OpenDialog1->setObjectName("OpenDialog1");
        OpenDialog1->setFileMode(QFileDialog::ExistingFiles);
        OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    }
    return OpenDialog1;
}

void TForm1::SetMode(TWindowMode newMode) {
    mode = newMode;
    if (mode != ConnectingMode) ReleasePaint();
    if (mode == LogView) FlushLog();
    const bool session = mode == ConnectingMode || mode == LogView;
    for (QWidget* w : {static_cast<QWidget*>(Label6), static_cast<QWidget*>(ComboBox1),
                       static_cast<QWidget*>(CheckBox3), static_cast<QWidget*>(Button6),
                       static_cast<QWidget*>(Button4)})
        w->setVisible(!session);
    Editor->setVisible(mode == SetupMode);
    Panel1->setVisible(session);
    Memo1->setVisible(mode == LogView);
    Button7->setVisible(mode == ConnectingMode);
    Button9->setVisible(mode == ConnectingMode);
    switch (mode) {
    case SetupMode:
        setFixedSize(FullWidth, EditorHeight);
        break;
    case ChooserMode:
        setFixedSize(FullWidth, ChooserHeight);
        break;
    case ConnectingMode:
        setFixedSize(StatusWidth(), 100);
        break;
    case LogView:
        // The log view is the one state with a resizable frame.
        setMinimumSize(200, 100);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(600, 300);
        break;
    }
    LayoutPanel1();
}

int TForm1::StatusWidth() const {
    // The frame's title stays whole: its text beside the icon and the frame's three buttons.
    return std::max(200, fontMetrics().horizontalAdvance(windowTitle()) + 4 * 32);
}

void TForm1::LayoutPanel1() {
    Panel1->setGeometry(rect());
    const int w = width();
    const int statusHeight = mode == LogView ? 32 : height();
    Panel2->setGeometry(0, 0, w, statusHeight);
    Panel2->setContentsMargins(4, 2, mode == ConnectingMode ? 56 : 4, 2);
    Button7->move(w - 54, 4);
    Button9->move((w - Button9->width()) / 2, statusHeight - Button9->height() - 6);
    Memo1->setGeometry(0, statusHeight, w, height() - statusHeight);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutPanel1();
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous() || Tag != 1) return;
    FormShow();
    PlaceOnScreen(this);
}

namespace {

QStringList LocalPaths(const QMimeData* data) {
    QStringList paths;
    if (!data) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

} // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    DropFiles(paths);
}

void TForm1::DropFiles(const QStringList& paths) {
    // Local paths stay in the host's own encoding of names, as on the command line.
    std::vector<std::string> files;
    for (const QString& path : paths)
        files.push_back(QFile::encodeName(path).toStdString());
    if (session.Running()) {
        // Before the list is made the files join the command line, from which it is made.
        if (!session.AddFiles(files) && !session.ListBuilt())
            Params.insert(Params.end(), files.begin(), files.end());
        return;
    }
    if (mode != SetupMode && mode != ChooserMode) return;
    Params.insert(Params.end(), files.begin(), files.end());
    Button4Click();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the chooser's list is the transfer button.
    if (watched == ComboBox1 && mode == ChooserMode && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Button4Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (session.Running()) {
        // The transfer in hand is cancelled and QUIT goes out; the window closes at the end of
        // the session, within about a second, once the outcomes are known.
        session.EndByUser(true);
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TForm1::FormClose() {
    session.Close();
}

void TForm1::FormShow() {
    if (Tag != 1) return;
    Tag = 0;

    const std::string settingsPath = SettingsFilePath();
    if (!SettingsFileExists(settingsPath)) {
        ExpandEditor();
        return;
    }
    {
        const TReader ini(settingsPath);
        CheckBox3->setEnabled(!ini.Bool("Restrictions", "EnableDefaultSetting", false));
        CheckBox2->setEnabled(!ini.Bool("Restrictions", "SavePassword", false));
        Edit4->setEnabled(CheckBox2->isEnabled());
        SpinEdit1->setValue(ini.Int("Default", "TimeOut", 30));
    }

    const std::vector<std::string> profiles = ListProfiles();
    {
        const QSignalBlocker block(ComboBox1);
        for (const std::string& name : profiles)
            ComboBox1->addItem(SystemToQString(name), QByteArray::fromStdString(name));
    }
    if (profiles.empty()) {
        ExpandEditor();
        return;
    }

    const std::string p1 = Param(Params, 1);
    std::string wanted, last;
    if (IsServerOption(p1)) {
        wanted = ServerOptionName(p1);
    } else {
        const TReader ini(settingsPath);
        wanted = ini.Str("Default", "Profile", "");
        if (wanted.empty()) last = ini.Str("Default", "LastServer", "");
    }

    SelectProfile(0);
    const bool setOption = IsSetOption(p1);
    if (wanted.empty() && !setOption) {
        ShowChooser();
        if (!last.empty() && !SearchProfile(last)) {
            SelectProfile(0);
            LoadProfile(ItemName(0));
            ExpandEditor();
            return;
        }
        LoadProfile(ItemName(ComboBox1->currentIndex()));
        return;
    }
    // An empty name is never searched: it stands for no profile at all.
    if (wanted.empty() || !SearchProfile(wanted)) {
        SelectProfile(0);
        LoadProfile(ItemName(0));
        ExpandEditor();
        return;
    }
    LoadProfile(wanted);
    if (setOption)
        ExpandEditor();
    else
        StartUpload();
}

void TForm1::SelectProfile(int index) {
    const QSignalBlocker block(ComboBox1);
    ComboBox1->setCurrentIndex(index);
}

bool TForm1::SearchProfile(const std::string& name) {
    for (int i = 0; i < ComboBox1->count(); ++i) {
        SelectProfile(i);
        if (ItemName(i) == name) return true;
    }
    return false;
}

std::string TForm1::ItemName(int index) const {
    return ComboBox1->itemData(index).toByteArray().toStdString();
}

std::optional<std::string> TForm1::ProfileName() const {
    // A listed name keeps its exact bytes, even ones that do not convert.
    const int index = ComboBox1->currentIndex();
    if (index >= 0 && ComboBox1->itemText(index) == ComboBox1->currentText())
        return ItemName(index);
    return StorableText(ComboBox1->currentText());
}

int TForm1::TimeOutSeconds() const {
    return ParseInteger(SpinEdit1->text()).value_or(0);
}

void TForm1::ExpandEditor() {
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setEditable(true);
        ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    }
    Button6->setEnabled(false);
    SetMode(SetupMode);
}

void TForm1::ShowChooser() {
    SetMode(ChooserMode);
}

void TForm1::SessionEnded() {
    if (mode != LogView || session.WindowClosed()) {
        close();
        return;
    }
    Panel2->setText("切断しました。");
    Panel2->unsetCursor();
}

void TForm1::ResetProfileFields() {
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setEditText("新規設定");
    }
    CheckBox4->setChecked(true);
    Edit1->setText(PlaceholderHost);
    Edit2->setText("21");
    CheckBox5->setChecked(true);
    Edit6->setEnabled(true);
    Edit3->setText("username");
    CheckBox1->setChecked(false);
    Edit4->clear();
    Edit5->setEnabled(false);
    CheckBox2->setChecked(false);
    Edit6->clear();
    CheckBox8->setChecked(true);
    CheckBox10->setChecked(true);
    CheckBox9->setChecked(false);
    trustedCert.clear();
    loadedProfile.clear();
}

void TForm1::LoadProfile(const std::string& name) {
    {
        const TReader ini(ProfileFilePath(name));
        Edit1->setText(SystemToQString(ini.Str("Server", "server", "")));
        Edit2->setText(SystemToQString(ini.Str("Server", "port", "21")));
        CheckBox5->setChecked(ini.Bool("Server", "PWDImplement", true));
        Edit6->setEnabled(CheckBox5->isChecked());
        CheckBox7->setChecked(ini.Bool("Server", "PASVSupport", false));
        const int nameCode = ini.Int("Server", "NameCode", 0);
        ComboBox4->setCurrentIndex(nameCode >= 0 && nameCode < ComboBox4->count() ? nameCode : -1);
        CheckBox9->setChecked(ini.Bool("Server", "FTPS", false));
        trustedCert = ini.Str("Server", "TrustedCert", "");
        loadedProfile = name;
        CheckBox1->setChecked(ini.Bool("User", "anonymous", false));
        Edit5->setEnabled(CheckBox1->isChecked());
        Edit3->setText(SystemToQString(ini.Str("User", "user", "anonymous")));
        if (CheckBox2->isEnabled()) {
            Edit4->setText(SystemToQString(UnsealPassword(DES1, ini.Str("User", "password", ""))));
            CheckBox2->setChecked(ini.Bool("User", "SavePassword", false));
        }
        Edit5->setText(SystemToQString(ini.Str("User", "email", PlaceholderMail)));
        Edit6->setText(SystemToQString(ini.Str("User", "DefaultDir", "")));
        // An index out of range leaves the list without a selection.
        const int policy = ini.Int("Preferences", "SameFileExist", 3);
        ComboBox2->setCurrentIndex(policy >= 0 && policy < ComboBox2->count() ? policy : -1);
        const int code = ini.Int("Preferences", "JapaneseCode", 0);
        ComboBox3->setCurrentIndex(code >= 0 && code < ComboBox3->count() ? code : -1);
        // Anonymous servers often forbid renaming.
        CheckBox8->setChecked(ini.Bool("Preferences", "TempName", !CheckBox1->isChecked()));
        CheckBox10->setChecked(ini.Bool("Preferences", "KeepTime", true));
    }
    const TReader settings(SettingsFilePath());
    CheckBox3->setChecked(settings.Str("Default", "Profile", "") == name);
    CheckBox4->setChecked(settings.Bool("Default", "RegShortCut", false));
    CheckBox6->setChecked(settings.Bool("Default", "MakeDir", false));
}

bool TForm1::SaveSettings() {
    // Every text is checked before anything is written, so a text the files cannot hold stops the
    // save with the files as they were.
    struct TField {
        QLineEdit* edit;
        std::string value;
    };
    const auto name = ProfileName();
    if (!name) {
        ErrorBox(QString("'%1' は保存できない文字を含んでいます").arg(ComboBox1->currentText()));
        return false;
    }
    // The name becomes a file name in the program folder and must stay one.
    if (!IsValidProfileName(*name)) {
        ErrorBox(
            QString("'%1' はプロファイル名に使えません。空の名前、「.」「..」、「/」や制御文字を"
                    "含む名前は保存できません")
                .arg(ComboBox1->currentText()));
        return false;
    }
    TField server{Edit1, {}}, user{Edit3, {}}, password{Edit4, {}}, mail{Edit5, {}}, dir{Edit6, {}};
    for (TField* field : {&server, &user, &password, &mail, &dir}) {
        auto text = StorableText(field->edit->text());
        if (!text) {
            const QString shown =
                field->edit == Edit4 ? QString("パスワード") : field->edit->text();
            ErrorBox(QString("'%1' は保存できない文字を含んでいます").arg(shown));
            return false;
        }
        field->value = std::move(*text);
    }
    const auto port = ParseInteger(Edit2->text());
    if (!port) {
        ErrorBox(QString("'%1' は整数ではありません").arg(Edit2->text()));
        return false;
    }

    std::string path = SettingsFilePath();
    try {
        {
            const bool fresh = !FileExists(path);
            TMyMemIniFile ini(path);
            // The default changes only by its box: ticked here, or cleared on the default itself.
            std::string defaultProfile = ini.ReadString("Default", "Profile", "");
            if (CheckBox3->isChecked())
                defaultProfile = *name;
            else if (defaultProfile == *name)
                defaultProfile.clear();
            ini.WriteString("Default", "Profile", defaultProfile);
            ini.WriteBool("Default", "RegShortCut", CheckBox4->isChecked());
            ini.WriteString("Default", "LastServer", *name);
            ini.WriteBool("Default", "MakeDir", CheckBox6->isChecked());
            ini.WriteInteger("Default", "TimeOut", TimeOutSeconds());
            if (fresh) WriteDefaultTextModeList(ini);
        }
        UpdateSendToShortcut(CheckBox4->isChecked());

        path = ProfileFilePath(*name);
        TMyMemIniFile ini(path);
        ini.WriteString("Server", "server", server.value);
        ini.WriteInteger("Server", "port", *port);
        ini.WriteBool("Server", "PWDImplement", CheckBox5->isChecked());
        ini.WriteBool("Server", "PASVSupport", CheckBox7->isChecked());
        ini.WriteInteger("Server", "NameCode", ComboBox4->currentIndex());
        ini.WriteBool("Server", "FTPS", CheckBox9->isChecked());
        ini.WriteBool("User", "anonymous", CheckBox1->isChecked());
        ini.WriteString("User", "user", user.value);
        // A password the user did not ask to keep is not kept, not even sealed.
        ini.WriteString("User", "password",
                        CheckBox2->isChecked() ? SealPassword(DES1, password.value)
                                               : std::string());
        ini.WriteString("User", "email", mail.value);
        ini.WriteBool("User", "SavePassword", CheckBox2->isChecked());
        ini.WriteString("User", "DefaultDir", dir.value);
        ini.WriteInteger("Preferences", "SameFileExist", ComboBox2->currentIndex());
        ini.WriteInteger("Preferences", "JapaneseCode", ComboBox3->currentIndex());
        ini.WriteBool("Preferences", "TempName", CheckBox8->isChecked());
        ini.WriteBool("Preferences", "KeepTime", CheckBox10->isChecked());
    } catch (const EIniFileError& e) {
        ErrorBox(QString("ファイル %1 を作成できません").arg(SystemToQString(e.Path)));
        return false;
    }
    return true;
}

void TForm1::DeleteProfile(const std::string& name) {
    if (!IsValidProfileName(name) || !MoveToTrash(ProfileFilePath(name), true, this)) {
        ErrorBox("削除できませんでした。");
        return;
    }
    for (int i = 0; i < ComboBox1->count(); ++i) {
        if (ItemName(i) != name) continue;
        const QSignalBlocker block(ComboBox1);
        ComboBox1->removeItem(i);
        break;
    }
    if (ComboBox1->count() > 0) {
        SelectProfile(0);
        LoadProfile(ItemName(0));
    } else {
        ResetProfileFields();
    }
}

void TForm1::ErrorBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, "Error", text, QMessageBox::Ok, this);
    // An error of a session can come while the progress dialog is showing.
    KeepAboveStayOnTopWindows(&box);
    box.exec();
}

void TForm1::Button1Click() {
    if (SaveSettings()) close();
}

void TForm1::Button2Click() {
    close();
}

void TForm1::Button3Click() {
    ResetProfileFields();
}

void TForm1::Button4Click() {
    if (SaveSettings()) StartUpload();
}

void TForm1::Button5Click() {
    const auto name = ProfileName();
    if (!name) {
        ErrorBox("削除できませんでした。");
        return;
    }
    DeleteProfile(*name);
}

void TForm1::Button6Click() {
    ExpandEditor();
}

void TForm1::Button7Click() {
    SetMode(LogView);
    // Opened while the progress dialog stays on top, the log must come above it to be read.
    const bool shown = isVisible();
    KeepAboveStayOnTopWindows(this);
    if (shown && !isVisible()) show();
    raise();
}

void TForm1::Button8Click() {
    TForm5& dialog = TextModeDialog();
    dialog.ListBox1->clear();
    dialog.Edit1->clear();
    try {
        for (const std::string& extension : ReadTextModeList())
            dialog.ListBox1->addItem(SystemToQString(extension));
    } catch (const EIniFileError& e) {
        ErrorBox(QString("ファイル %1 を作成できません").arg(SystemToQString(e.Path)));
        return;
    }
    if (dialog.exec() != QDialog::Accepted) return;

    // The whole list is checked first: the section is erased before the keys are written.
    std::vector<std::string> extensions;
    for (const QString& entry : dialog.Entries()) {
        auto key = StorableText(entry);
        if (!key || key->find('=') != std::string::npos ||
            (!key->empty() && (key->front() == ';' || key->front() == '['))) {
            ErrorBox(QString("'%1' は保存できない文字を含んでいます").arg(entry));
            return;
        }
        extensions.push_back(std::move(*key));
    }
    try {
        WriteTextModeList(extensions);
    } catch (const EIniFileError& e) {
        ErrorBox(QString("ファイル %1 を作成できません").arg(SystemToQString(e.Path)));
    }
}

void TForm1::ComboBox1Change() {
    // A name that is no saved profile keeps what the user has typed, so that it can be saved under
    // that name.
    const auto name = ProfileName();
    if (name && IsValidProfileName(*name) && SettingsFileExists(ProfileFilePath(*name)))
        LoadProfile(*name);
}

void TForm1::ComboBox2Change(int index) {
    if (index == 4) NoFolderQuestion = false;
}

void TForm1::CheckBox1Click() {
    if (CheckBox1->isChecked()) {
        Edit3->setText("anonymous");
        Edit5->setEnabled(true);
    } else {
        Edit5->setEnabled(false);
    }
}

void TForm1::CheckBox5Click() {
    Edit6->setEnabled(CheckBox5->isChecked());
}
