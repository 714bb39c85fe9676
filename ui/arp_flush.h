#pragma once

// Clears the PC's neighbour cache on the searched interfaces: "neigh flush
// dev NAME" lines go to a host program's standard input (by default
// "ip -batch -", through pkexec when not root; the package's polkit action
// names it). The outcome is a `Notice` in the language pack's words.

#include <QObject>
#include <QProcess>
#include <memory>
#include <string>
#include <vector>

namespace quorvex {

class LanguageX;

class ArpFlush : public QObject {
    Q_OBJECT

public:
    ArpFlush(const LanguageX& language, QObject* parent);
    // Kills a flush still running, saying nothing more.
    ~ArpFlush() override;

    // The program that reads the batch on standard input; empty: the default.
    void SetCommand(std::vector<std::string> argv) { command_ = std::move(argv); }
    // Starts a flush of `names` (names that are no kernel interface name are
    // dropped); does nothing while one runs.
    void Start(std::vector<std::string> names);
    bool Running() const;

signals:
    void Notice(const QString& text, bool failure);

private:
    // Deleted at the next turn of the event loop, so that a signal of it
    // still on its way never meets a deleted object.
    struct LaterDeleter {
        void operator()(QObject* object) const { object->deleteLater(); }
    };

    const LanguageX& language_;
    std::vector<std::string> command_;
    std::unique_ptr<QProcess, LaterDeleter> process_;
};

}  // namespace quorvex
