#pragma once

#include <QObject>
#include <QString>

#include <filesystem>

class QLocalServer;

namespace kaldrani::gui {

// One running program per user and data folder. The first start claims a local socket
// named after both; a later start finds it, asks that program to come to the front and
// ends, so two programs never work on the same files.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const std::filesystem::path& dataFolderBase, QObject* parent = nullptr);

    // What a later start asks of the running program.
    enum class Request { ShowMain, ShowHistory };
    // True when this start is the one that runs: it now answers later starts (a socket
    // left behind by a crash is taken over). False when another program runs and has been
    // asked for request.
    bool claim(Request request = Request::ShowMain);

    // The socket's path: in $XDG_RUNTIME_DIR, else the temporary folder.
    const QString& serverName() const { return m_name; }

signals:
    // A later start asked for the main window.
    void activationRequested();
    // A later start asked for the history window (a click on a tracking notice).
    void historyRequested();

private:
    bool askRunningProgram(Request request);

    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace kaldrani::gui
