#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QTcpSocket;

namespace kaldrani::gui {

// The version the new-version check compares with. Deliberately not the 1.65 the about
// window shows: a published 1.65 still counts as newer.
inline constexpr double kBuiltInVersion = 1.6;

// Reads the whole body as one number: blanks (only ' ') around it are allowed; an optional
// sign, digits, decimalSeparator with digits, an optional exponent. Anything else, a line
// break included, gives nothing.
std::optional<double> parseVersionNumber(std::string_view body, char decimalSeparator);

// The decimal separator of the user's locale (QLocale's default).
char localeDecimalSeparator();

// The stand-in for the hidden web-browser control: navigate sends one GET of the address
// and returns at once; the answer is read and thrown away. The object deletes itself when
// the answer ends, on any failure, or after a time limit.
class HiddenBrowser : public QObject {
    Q_OBJECT
public:
    // Starts the navigation and returns; the object owns itself from here on.
    static void navigate(const QString& url);

private:
    explicit HiddenBrowser(const QString& url);
    void finish();

    QTcpSocket* m_socket;
    QByteArray m_request;
};

// Fetches the version page with a default client (limited to readTimeoutMs per wait) and
// returns true when the body is a number above kBuiltInVersion, read with the given
// decimal separator. Every failure gives false, silently. Blocks; safe on any thread.
bool newVersionPublished(const std::string& versionPage, int readTimeoutMs, char decimalSeparator);

// The new-version check, waited on by nobody: navigates the hidden browser to the version
// page, runs newVersionPublished on a thread of its own, and then calls done(published)
// on receiver's thread. Nothing is called when receiver is gone by then.
void checkForNewVersion(QObject* receiver, int readTimeoutMs, std::function<void(bool)> done);

} // namespace kaldrani::gui
