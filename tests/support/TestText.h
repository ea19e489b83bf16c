#pragma once

#include <QString>
#include <QStringList>

#include <initializer_list>

namespace norvi::test {

// A text as a test writes it: a UTF-8 literal or a QString. Test helpers take it so command lines and
// file names stay short to write, while the code under test never turns a C string into a QString
// implicitly.
class TestText {
public:
    TestText(const char* utf8) : m_text(QString::fromUtf8(utf8)) {}
    TestText(const QString& text) : m_text(text) {}
    operator const QString&() const { return m_text; }
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

inline QStringList textList(std::initializer_list<TestText> texts) {
    QStringList list;
    for (const TestText& t : texts)
        list << t.text();
    return list;
}

} // namespace norvi::test
