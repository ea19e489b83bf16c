#include "support/BookWindowTest.h"
#include "support/FileBytes.h"

#include "core/exchange/ExchangeState.h"
#include "gui/exchange/TFormChMapping.h"
#include "gui/exchange/TFormFileIO.h"
#include "gui/exchange/TFormFileType.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <tuple>

using namespace norvi;
using namespace norvi::test;

namespace {

using Row = std::tuple<QString, QString, bool>;                      // 文字欄位, 通訊錄欄位, checked
using MemberFields = std::tuple<QByteArray, QByteArray, QByteArray>; // a member's name, number and description

// The import and export dialogs as a user meets them: 通訊錄 → 匯入 or 匯出, the file type chooser, the
// wizard. Every step is a click or a key; every message box is answered by the script.
class ExchangeWindowTest : public BookWindowTest {
protected:
    // Opens 通訊錄, chooses 匯入 or 匯出 and runs `body` in the file type chooser, which is closed after it.
    void inChooser(bool import, const std::function<void(TFormFileType&)>& body) {
        withBook([&](TFormAdrBk& book) {
            m_book = &book;
            inModal<TFormFileType>([&] { trigger(item(book, import ? "MItemFImport" : "MItemFExport")); }, body,
                                   [](TFormFileType& chooser) { click(&chooser, "ButtonCancel"); });
        });
    }

    // In the chooser: clicks the type and 匯入/匯出, and runs `body` in the wizard.
    void inWizard(TFormFileType& chooser, int type, const std::function<void(TFormFileIO&)>& body) {
        auto* types = findControl<QListWidget>(&chooser, "ListBoxTypeSelect");
        ASSERT_TRUE(clickAt(types->viewport(), types->visualItemRect(types->item(type)).center()));
        inModal<TFormFileIO>([&] { click(&chooser, "ButtonIO"); }, body,
                             [](TFormFileIO& wizard) { click(&wizard, "ButtonCancel"); });
    }

    // From 通訊錄 through the chooser into the wizard in one go.
    void wizard(bool import, int type, const std::function<void(TFormFileIO&)>& body) {
        inChooser(import, [&](TFormFileType& chooser) { inWizard(chooser, type, body); });
    }

    static QLineEdit* pathEdit(TFormFileIO& w) { return findControl<QLineEdit>(&w, "EditIOPath"); }
    static QTreeWidget* fields(TFormFileIO& w) { return findControl<QTreeWidget>(&w, "ListViewMapping"); }
    static QString label(QWidget& w) { return findControl<QLabel>(&w, "Label1")->text(); }

    static std::vector<Row> rowsOf(TFormFileIO& w) {
        std::vector<Row> rows;
        QTreeWidget* list = fields(w);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = list->topLevelItem(i);
            rows.emplace_back(item->text(0), item->text(1), item->checkState(0) == Qt::Checked);
        }
        return rows;
    }

    // Selects a row of the field list and toggles its check box with the space bar.
    static bool toggle(TFormFileIO& w, int row) {
        QTreeWidget* list = fields(w);
        // On the caption: the check box belongs to the first column.
        if (!clickAt(list->viewport(), list->visualRect(list->model()->index(row, 0)).center()))
            return false;
        return keyClick(list, Qt::Key_Space);
    }

    // Answers the mapping dialog with the field at `index` (3: the empty item) and the check box.
    void answerMapping(int index, bool imported, QString* caption = nullptr) {
        m_prompts.dialogHandlers.push_back([=](QDialog* d) {
            auto* dialog = qobject_cast<TFormChMapping*>(d);
            ASSERT_NE(dialog, nullptr);
            if (caption)
                *caption = findControl<QLabel>(dialog, "Label2")->text();
            ASSERT_TRUE(pickItem(findControl<QComboBox>(dialog, "ComboBoxSelectField"), index));
            auto* box = findControl<QCheckBox>(dialog, "CheckBoxImField");
            // On the box itself: the check box is wider than its caption.
            if (box->isChecked() != imported) {
                ASSERT_TRUE(clickAt(box, QPoint(8, box->height() / 2)));
            }
            ASSERT_EQ(box->isChecked(), imported);
            click(dialog, "ButtonOk");
        });
    }

    TFormAdrBk* m_book = nullptr; // the address book window the chooser was opened from

    std::vector<MemberFields> members() {
        std::vector<MemberFields> list;
        for (const auto& [id, m] : addressBook().MemberMap())
            list.emplace_back(getField(m.name), getField(m.msisdn), getField(m.desc));
        return list;
    }
};

// A double click through the window, as a user makes it.
bool doubleClickAt(QWidget* widget, QPoint pos) {
    const QString why = unreachable(widget);
    if (!why.isEmpty()) {
        ADD_FAILURE() << "a user cannot double-click " << describe(widget).toStdString() << ": " << why.toStdString();
        return false;
    }
    QTest::mouseDClick(widget->window()->windowHandle(), Qt::LeftButton, {}, widget->mapTo(widget->window(), pos));
    return true;
}

Row row(const char* caption, const char* field, bool checked) {
    return {QString::fromUtf8(caption), QString::fromUtf8(field), checked};
}

} // namespace

TEST_F(ExchangeWindowTest, TheChooserTakesATypeAndOpensTheWizardInItsDirection) {
    startWithBook();
    inChooser(true, [&](TFormFileType& chooser) {
        EXPECT_EQ(chooser.windowTitle(), QStringLiteral("通訊錄匯入工具"));
        EXPECT_EQ(label(chooser), QStringLiteral("選擇您要匯入通訊錄的檔案類型，然後按一下[匯入]按鈕。"));
        QPushButton* io = findControl<QPushButton>(&chooser, "ButtonIO");
        EXPECT_EQ(io->text(), QStringLiteral("匯入(&I)"));
        EXPECT_FALSE(io->isEnabled());
        EXPECT_FALSE(chooser.progressBar()->isVisible());
        inWizard(chooser, 1, [&](TFormFileIO& w) {
            EXPECT_EQ(w.windowTitle(), QStringLiteral("匯入"));
            EXPECT_EQ(label(w), QStringLiteral("請選擇要匯入的檔案(&C)："));
            EXPECT_FALSE(findControl<QPushButton>(&w, "ButtonNextDone")->isEnabled());
            EXPECT_FALSE(findControl<QPushButton>(&w, "ButtonPrevious")->isEnabled());
        });
        EXPECT_TRUE(chooser.isVisible()) << "the chooser stays open after the wizard";
    });

    // A double click on a type goes straight on to the wizard; the type is kept for the next time.
    inChooser(false, [&](TFormFileType& chooser) {
        EXPECT_EQ(chooser.windowTitle(), QStringLiteral("通訊錄匯出工具"));
        EXPECT_EQ(findControl<QPushButton>(&chooser, "ButtonIO")->text(), QStringLiteral("匯出(&E)"));
        auto* types = findControl<QListWidget>(&chooser, "ListBoxTypeSelect");
        bool shown = false;
        m_prompts.dialogHandlers.push_back([&](QDialog* d) {
            shown = true;
            EXPECT_EQ(d->windowTitle(), QStringLiteral("匯出"));
            EXPECT_EQ(label(*d), QStringLiteral("另存匯出的檔案(&S)："));
            d->reject();
        });
        ASSERT_TRUE(doubleClickAt(types->viewport(), types->visualItemRect(types->item(0)).center()));
        EXPECT_TRUE(shown);
    });
}

TEST_F(ExchangeWindowTest, ImportMapsTheHeaderLetsTheUserChangeItAndAddsTheDataLines) {
    addMember(101, "Alice", "0911000001");
    startWithBook();
    writeAll(path("in.csv"), big5(QStringLiteral("名稱,行動電話,備註\r\n王小明,(02)2345-6789,北區, 業務\r\n陳美麗\r\n"
                                                 "\r\nLin,0933-000-003,x\r\n")));
    // What a program killed while the user reads that the import is done leaves in AddressBook.bin.
    QByteArray fileWhenDone;
    m_prompts.whileShown = [&](const QString& text) {
        if (text.startsWith(QStringLiteral("通訊錄匯入作業已完成")))
            fileWhenDone = fileBytes();
    };
    inChooser(true, [&](TFormFileType& chooser) {
        inWizard(chooser, 0, [&](TFormFileIO& w) {
            // A path typed by hand leads on only when the file is there.
            ASSERT_TRUE(typeInto(pathEdit(w), path("none.csv")));
            EXPECT_FALSE(findControl<QPushButton>(&w, "ButtonNextDone")->isEnabled());
            ASSERT_TRUE(typeInto(pathEdit(w), path("in.csv")));
            ASSERT_TRUE(click(&w, "ButtonNextDone"));
            EXPECT_EQ(label(w), QStringLiteral("請選擇您要匯入的欄位(&M)："));
            EXPECT_EQ(findControl<QPushButton>(&w, "ButtonNextDone")->text(), QStringLiteral("完成"));
            EXPECT_TRUE(findControl<QPushButton>(&w, "ButtonChMapping")->isEnabled());
            EXPECT_EQ(rowsOf(w), (std::vector<Row>{row("名稱", "名稱", true), row("行動電話", "行動電話", true),
                                                   row("備註", "說明", true)}));

            // Back and on again with the same path keeps the mapping as the user left it.
            answerMapping(1, true);
            ASSERT_TRUE(clickRow(fields(w), 2));
            ASSERT_TRUE(click(&w, "ButtonChMapping"));
            EXPECT_EQ(rowsOf(w), (std::vector<Row>{row("名稱", "名稱", true), row("行動電話", "", false),
                                                   row("備註", "行動電話", true)}));
            ASSERT_TRUE(click(&w, "ButtonPrevious"));
            EXPECT_TRUE(pathEdit(w)->isVisible());
            ASSERT_TRUE(click(&w, "ButtonNextDone"));
            EXPECT_EQ(rowsOf(w)[2], row("備註", "行動電話", true));
            answerMapping(2, true); // 說明 for column 3 again, by a double click
            ASSERT_TRUE(
                doubleClickAt(fields(w)->viewport(), fields(w)->visualItemRect(fields(w)->topLevelItem(2)).center()));
            answerMapping(1, true);
            ASSERT_TRUE(clickRow(fields(w), 1));
            ASSERT_TRUE(click(&w, "ButtonChMapping"));

            ASSERT_TRUE(click(&w, "ButtonNextDone"));
            EXPECT_FALSE(w.isVisible());
        });
        // The address book window behind the chooser already shows the new members.
        EXPECT_EQ(captions(list(*m_book)),
                  (QStringList{QStringLiteral("Alice"), QStringLiteral("Lin"), QStringLiteral("王小明")}));
    });
    EXPECT_EQ(members(), (std::vector<MemberFields>{
                             {"Alice", "0911000001", ""},
                             {big5(QStringLiteral("王小明")), "0223456789", big5(QStringLiteral("北區, 業務"))},
                             {"Lin", "0933000003", "x"}}));
    expectFileIsBook();
    EXPECT_EQ(fileWhenDone, fileBytes()) << "the import was not on disk when the user was told it was done";
    EXPECT_TRUE(lastMessage().startsWith(QStringLiteral("通訊錄匯入作業已完成"))) << lastMessage().toStdString();
    EXPECT_TRUE(lastMessage().contains(QStringLiteral("新增 2 位成員"))) << lastMessage().toStdString();
    EXPECT_TRUE(messageArea().contains(
        QStringLiteral("匯入檔%1之第3行欄位數不足2個(List index out of bounds (1))").arg(path("in.csv"))))
        << messageArea().toStdString();
}

// A file without names: the wizard guesses so from its first line, maps the columns by what they hold and lets
// the user say otherwise; a quoted comma stays inside its name, and a line that gives no member is named.
TEST_F(ExchangeWindowTest, AFileWithoutNamesIsGuessedMappedByItsColumnsAndTheUserMaySayOtherwise) {
    startWithBook();
    writeAll(path("in.csv"), big5(QStringLiteral("\"林,小華\",0933111333,quoted comma\r\nWu,0944111222\r\n"
                                                 "小明,\"小華\"\r\n")));
    wizard(true, 0, [&](TFormFileIO& w) {
        ASSERT_TRUE(typeInto(pathEdit(w), path("in.csv")));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        auto* header = findControl<QCheckBox>(&w, "CheckBoxHeader");
        EXPECT_TRUE(header->isVisible());
        EXPECT_FALSE(header->isChecked());
        const std::vector<Row> guessed{row("欄 1：林,小華", "名稱", true), row("欄 2：0933111333", "行動電話", true),
                                       row("欄 3：quoted comma", "說明", true)};
        EXPECT_EQ(rowsOf(w), guessed);
        ASSERT_TRUE(clickAt(header, QPoint(8, header->height() / 2)));
        EXPECT_EQ(rowsOf(w), (std::vector<Row>{row("林,小華", "", false), row("0933111333", "", false),
                                               row("quoted comma", "", false)}));
        ASSERT_TRUE(keyClick(header, Qt::Key_Space));
        EXPECT_EQ(rowsOf(w), guessed);
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
    });
    EXPECT_EQ(members(), (std::vector<MemberFields>{{big5(QStringLiteral("林,小華")), "0933111333", "quoted comma"},
                                                    {"Wu", "0944111222", ""}}));
    EXPECT_EQ(lastMessage(),
              QStringLiteral("通訊錄匯入作業已完成\n新增 2 位成員\n未匯入 1 行：第 3 行 門號「小華」不是手機門號"));
    EXPECT_EQ(m_prompts.asked.last().buttons, Prompts::Buttons::Ok);
    expectFileIsBook();
}

TEST_F(ExchangeWindowTest, ImportWithoutNameOrNumberStaysUntilTheUserAssignsOne) {
    startWithBook();
    writeAll(path("in.txt"), "Who Phone\r\nAnn 0911\r\n");
    wizard(true, 1, [&](TFormFileIO& w) {
        ASSERT_TRUE(typeInto(pathEdit(w), path("in.txt")));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        EXPECT_EQ(rowsOf(w), (std::vector<Row>{row("Who", "", false), row("Phone", "", false)}));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        EXPECT_EQ(lastMessage(), QStringLiteral("您至少必須對應下列其中一個欄位至通訊錄內容：名稱、行動電話"));
        EXPECT_EQ(m_prompts.asked.last().title, QStringLiteral("檔案匯入"));
        EXPECT_TRUE(fields(w)->isVisible());

        // Checking a column without a field asks for one; the check waits for the dialog's own box.
        QString caption;
        answerMapping(1, true, &caption);
        ASSERT_TRUE(toggle(w, 1));
        EXPECT_EQ(caption, QStringLiteral("Phone"));
        EXPECT_EQ(rowsOf(w)[1], row("Phone", "行動電話", true));
        // 名稱 for the first column, not imported; then the empty item takes it away again.
        answerMapping(0, false);
        ASSERT_TRUE(clickRow(fields(w), 0));
        ASSERT_TRUE(click(&w, "ButtonChMapping"));
        EXPECT_EQ(rowsOf(w)[0], row("Who", "名稱", false));
        answerMapping(3, true);
        ASSERT_TRUE(click(&w, "ButtonChMapping"));
        EXPECT_EQ(rowsOf(w), (std::vector<Row>{row("Who", "", false), row("Phone", "行動電話", true)}));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
    });
    EXPECT_EQ(members(), (std::vector<MemberFields>{{"", "0911", ""}}));
}

TEST_F(ExchangeWindowTest, AnImportFileThatCannotBeReadKeepsThePathPage) {
    startWithBook();
    // Past the limit in lines that are all kept (a long line's tail would not count).
    QByteArray lines;
    while (lines.size() < 1024 * 1024)
        lines += "a,0911\n";
    ASSERT_NO_FATAL_FAILURE(writeAll(path("big.csv"), lines.repeated(65)));
    wizard(true, 0, [&](TFormFileIO& w) {
        ASSERT_TRUE(typeInto(pathEdit(w), path("big.csv")));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        EXPECT_TRUE(lastMessage().contains(QStringLiteral("無法匯入"))) << lastMessage().toStdString();
        EXPECT_TRUE(pathEdit(w)->isVisible());
        EXPECT_FALSE(fields(w)->isVisible());

        // Gone between the choice and 下一步: the box names the system's reason under its own line.
        ASSERT_NO_FATAL_FAILURE(writeAll(path("gone.csv"), QByteArray()));
        ASSERT_TRUE(typeInto(pathEdit(w), path("gone.csv")));
        ASSERT_TRUE(QFile::remove(path("gone.csv")));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        EXPECT_EQ(lastMessage(),
                  QStringLiteral("匯入檔%1無法讀取，沒有匯入任何資料。\n檔案或目錄不存在").arg(path("gone.csv")));
        EXPECT_TRUE(pathEdit(w)->isVisible());

        // A picture is named as no text list here, not on the field page as a file without fields.
        ASSERT_NO_FATAL_FAILURE(writeAll(path("photo.csv"), QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11)));
        ASSERT_TRUE(typeInto(pathEdit(w), path("photo.csv")));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        EXPECT_TRUE(lastMessage().contains(QStringLiteral("不是文字檔"))) << lastMessage().toStdString();
        EXPECT_TRUE(pathEdit(w)->isVisible());
    });
    EXPECT_TRUE(addressBook().MemberMap().empty());
}

TEST_F(ExchangeWindowTest, ExportWritesTheListedMembersUnderTheNameTheFilterCompletes) {
    addMember(101, "Alice", "0911000001", "a, b");
    addMember(102, "Bob", "@0922000002;0933", "");
    addMember(103, "Cy", "0944", "c");
    addGroup(-201, "同事", {103, -202, 101});
    addGroup(-202, "其他", {102});
    startWithBook();
    withBook([&](TFormAdrBk& book) {
        ASSERT_TRUE(clickNode(book, QStringLiteral("同事")));
        m_prompts.dialogHandlers.push_back([&](QDialog* d) {
            auto& chooser = *qobject_cast<TFormFileType*>(d);
            inWizard(chooser, 0, [&](TFormFileIO& w) {
                m_prompts.fileNames.push_back(path("out"));
                ASSERT_TRUE(click(&w, "ButtonBrowse"));
                EXPECT_EQ(m_prompts.lastFilterIndex, 0) << "the comma type starts with the .csv filter";
                EXPECT_EQ(pathEdit(w)->text(), path("out.csv"));
                EXPECT_TRUE(findControl<QPushButton>(&w, "ButtonNextDone")->isEnabled())
                    << "a name to save under need not exist";
                ASSERT_TRUE(click(&w, "ButtonNextDone"));
                EXPECT_FALSE(findControl<QPushButton>(&w, "ButtonChMapping")->isVisible());
                EXPECT_EQ(rowsOf(w), (std::vector<Row>{row("名稱", "名稱", true), row("行動電話", "行動電話", true),
                                                       row("說明", "說明", true)}));
                for (int r = 0; r < 3; ++r)
                    ASSERT_TRUE(toggle(w, r));
                ASSERT_TRUE(click(&w, "ButtonNextDone"));
                EXPECT_EQ(lastMessage(), QStringLiteral("您至少必須選擇一個欄位"));
                ASSERT_TRUE(toggle(w, 0));
                ASSERT_TRUE(toggle(w, 2));
                ASSERT_TRUE(click(&w, "ButtonNextDone"));
            });
            click(&chooser, "ButtonCancel");
        });
        trigger(item(book, "MItemFExport"));
    });
    // The group's direct members in the list's order (by name), without its sub-group's.
    EXPECT_EQ(readAll(path("out.csv")), big5(QStringLiteral("名稱,備註\r\nAlice,\"a, b\"\r\nCy,c\r\n")));
    EXPECT_EQ(lastMessage(), QStringLiteral("通訊錄匯出作業已完成"));

    // Space type: the .txt filter comes first; another filter chosen in the dialog decides the extension.
    wizard(false, 1, [&](TFormFileIO& w) {
        m_prompts.fileNames.push_back(path("list.csv"));
        m_prompts.filterIndexes.push_back(1);
        ASSERT_TRUE(click(&w, "ButtonBrowse"));
        EXPECT_EQ(m_prompts.lastFilterIndex, 1);
        EXPECT_EQ(pathEdit(w)->text(), path("list.csv.txt"));
        m_prompts.fileNames.push_back(path("plain"));
        m_prompts.filterIndexes.push_back(2);
        ASSERT_TRUE(click(&w, "ButtonBrowse"));
        EXPECT_EQ(pathEdit(w)->text(), path("plain"));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        ASSERT_TRUE(toggle(w, 0));
        ASSERT_TRUE(toggle(w, 2));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
    });
    EXPECT_EQ(readAll(path("plain")), big5(QStringLiteral("行動電話\r\n0911000001\r\n@0922000002;0933\r\n0944\r\n")));
}

TEST_F(ExchangeWindowTest, ExportOverAnExistingFileAsksBeforeReplacingIt) {
    addMember(101, "Alice", "0911000001");
    startWithBook();
    writeAll(path("old.csv"), "old");
    wizard(false, 0, [&](TFormFileIO& w) {
        // A typed path leads on when the file is there.
        ASSERT_TRUE(typeInto(pathEdit(w), path("old.csv")));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        m_prompts.answers.push_back(Prompts::Answer::No);
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        EXPECT_EQ(lastMessage(), path("old.csv") + QStringLiteral("檔案已經存在。\n您要取代它嗎？"));
        EXPECT_EQ(m_prompts.asked.last().icon, Prompts::Icon::Warning);
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(readAll(path("old.csv")), "old");
        m_prompts.answers.push_back(Prompts::Answer::Yes);
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
    });
    EXPECT_EQ(readAll(path("old.csv")), big5(QStringLiteral("名稱,行動電話,備註\r\nAlice,0911000001,\r\n")));
}

// A typed export name whose folder is missing: 下一步 waits and the page says why; 建立資料夾 makes the folder,
// and the name, typed without an extension, is saved with the comma type's. A new name typed in a folder that
// is there leads on at once.
TEST_F(ExchangeWindowTest, ExportIntoAMissingFolderSaysWhyAndMakesTheFolder) {
    addMember(101, "Alice", "0911000001", "a");
    startWithBook();
    const QString folder = path("new/dir");
    wizard(false, 0, [&](TFormFileIO& w) {
        auto* next = findControl<QPushButton>(&w, "ButtonNextDone");
        auto* problem = findControl<QLabel>(&w, "LabelPathProblem");
        auto* make = findControl<QPushButton>(&w, "ButtonMakeFolder");
        EXPECT_FALSE(problem->isVisible()) << "nothing typed, nothing to explain";
        EXPECT_FALSE(make->isVisible());
        ASSERT_TRUE(typeInto(pathEdit(w), folder + QStringLiteral("/book")));
        EXPECT_FALSE(next->isEnabled());
        EXPECT_TRUE(problem->isVisible());
        EXPECT_EQ(problem->text(), QStringLiteral("資料夾「%1」不存在。").arg(folder));
        ASSERT_TRUE(click(make));
        EXPECT_TRUE(QFileInfo(folder).isDir());
        EXPECT_TRUE(next->isEnabled());
        EXPECT_FALSE(problem->isVisible());
        EXPECT_FALSE(make->isVisible());
        ASSERT_TRUE(click(next));
        EXPECT_EQ(pathEdit(w)->text(), folder + QStringLiteral("/book.csv"));
        ASSERT_TRUE(click(next)); // 完成
    });
    EXPECT_EQ(readAll(folder + QStringLiteral("/book.csv")),
              big5(QStringLiteral("名稱,行動電話,備註\r\nAlice,0911000001,a\r\n")));

    // "~/" is the home folder, as the file dialogs read it, not a folder "~" to be made where the program runs.
    const QByteArray home = qgetenv("HOME");
    ASSERT_TRUE(QDir().mkpath(path("home")));
    qputenv("HOME", QFile::encodeName(path("home")));
    wizard(false, 0, [&](TFormFileIO& w) {
        ASSERT_TRUE(typeInto(pathEdit(w), QStringLiteral("~/book")));
        EXPECT_TRUE(findControl<QPushButton>(&w, "ButtonNextDone")->isEnabled());
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
    });
    qputenv("HOME", home);
    EXPECT_EQ(readAll(path("home/book.csv")), big5(QStringLiteral("名稱,行動電話,備註\r\nAlice,0911000001,a\r\n")));

    // An import names a missing file; a name with its own extension keeps it.
    wizard(true, 0, [&](TFormFileIO& w) {
        ASSERT_TRUE(typeInto(pathEdit(w), path("none.csv")));
        EXPECT_EQ(findControl<QLabel>(&w, "LabelPathProblem")->text(), QStringLiteral("找不到這個檔案。"));
        EXPECT_FALSE(findControl<QPushButton>(&w, "ButtonMakeFolder")->isVisible()) << "no folder to make";
    });
    wizard(false, 1, [&](TFormFileIO& w) {
        ASSERT_TRUE(typeInto(pathEdit(w), folder + QStringLiteral("/book.dat")));
        ASSERT_TRUE(click(&w, "ButtonNextDone"));
        EXPECT_EQ(pathEdit(w)->text(), folder + QStringLiteral("/book.dat"));
    });
}
