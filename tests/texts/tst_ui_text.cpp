// The interface texts in every language: each text there, and each one a terminal set up for its
// language can show.

#include <QtTest>

#include "platform/code_page.h"
#include "texts/ui_text.h"

class TestUiText : public QObject {
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<int>("language");
        for (int language = 0; language < kLanguageCount; ++language)
            QTest::newRow(kLanguages[language].flag) << language;
    }

    // A cell left out or empty compiles, and the window and telmax-cmd show nothing where the
    // text belongs; a character the language's code page lacks shows as "?" on its terminal.
    void texts()
    {
        QFETCH(int, language);
        const std::string codePage = kLanguages[language].codePage;
        QVERIFY2(platform::codePageUsable(codePage), codePage.c_str());
        for (int entry = 0; entry < int(Text::Count); ++entry) {
            const QString text = textIn(Text(entry), language);
            QVERIFY2(!text.isEmpty(), qPrintable(QStringLiteral("entry %1 is empty").arg(entry)));
            int replaced = 0;
            platform::toCodePage(text.toStdString(), codePage, &replaced);
            QVERIFY2(replaced == 0, qPrintable(QStringLiteral("entry %1, \"%2\": %3 character(s) not in %4")
                                                   .arg(entry)
                                                   .arg(text)
                                                   .arg(replaced)
                                                   .arg(QString::fromStdString(codePage))));
        }
    }
};

QTEST_GUILESS_MAIN(TestUiText)
#include "tst_ui_text.moc"
