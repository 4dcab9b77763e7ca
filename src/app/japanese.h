#pragma once
// Qt's own texts in Japanese: the standard buttons ("はい", "いいえ", "キャンセル"), the file
// picker and the context menus of the text boxes, to match the program's own Japanese texts.

class QCoreApplication;
class QTranslator;

// Installs Qt's Japanese translation ("qtbase_ja") in `app`. The translator belongs to `app`;
// nullptr when the translation is not installed on this system (the texts stay in English).
QTranslator* InstallQtJapanese(QCoreApplication& app);
