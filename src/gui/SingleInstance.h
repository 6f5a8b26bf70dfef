#pragma once

#include "core/sys/UniqueFd.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;
class QTimer;

namespace kaldrani::gui {

// One running program per user and data folder. The first start claims a Unix socket
// named after both, in a folder only this user may enter; a later start finds it, asks
// that program to come to the front and ends, so two programs never work on the same
// files. Only this user's processes are heard; each holds a connection for one short
// request line, a few at a time, for a few seconds at most.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const std::filesystem::path& dataFolderBase, QObject* parent = nullptr);
    ~SingleInstance() override;

    // What a later start asks of the running program.
    enum class Request { ShowMain, ShowHistory };
    // True when this start is the one that runs: it now answers later starts (a socket
    // left behind by a crash is taken over), or it runs without answering them when it
    // cannot have a private socket (said on stderr). False when another program of this
    // user runs and has been asked for request.
    bool claim(Request request = Request::ShowMain);

    // The socket's path: in $XDG_RUNTIME_DIR, else in a folder of our own in the temporary
    // folder; empty when neither is private to this user.
    const QString& serverName() const { return m_name; }
    // Why there is no channel to later starts, or empty.
    const QString& trouble() const { return m_trouble; }

    // The bounds of what a later start may send.
    static constexpr size_t kMaxRequestBytes = 1024;
    static constexpr size_t kMaxConnections = 8;
    static constexpr int kIdleMs = 2000;

signals:
    // A later start asked for the main window.
    void activationRequested();
    // A later start asked for the history window (a click on a tracking notice).
    void historyRequested();

private:
    struct Peer;
    enum class Asked { Done, NobodyThere, Stranger };
    Asked askRunningProgram(Request request);
    bool listen();
    void acceptPeers();
    void readPeer(int fd);
    void dropPeer(int fd);
    void giveUp(const QString& why);

    QString m_name;
    QString m_trouble;
    sys::UniqueFd m_listener;
    QSocketNotifier* m_acceptNotifier = nullptr;
    std::map<int, std::unique_ptr<Peer>> m_peers;
};

} // namespace kaldrani::gui
