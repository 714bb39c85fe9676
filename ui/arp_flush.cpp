#include "ui/arp_flush.h"

#include <unistd.h>

#include <QStandardPaths>
#include <algorithm>

#include "ui/record_text.h"
#include "ui/window_texts.h"

namespace quorvex {

namespace {

// A kernel interface name that can go into a command line as it is.
bool IsInterfaceName(const std::string& name) {
    if (name.empty() || name.size() > 15) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-' || c == '@';
    });
}

}  // namespace

ArpFlush::ArpFlush(const LanguageX& language, QObject* parent)
    : QObject(parent), language_(language) {}

ArpFlush::~ArpFlush() {
    if (process_) {
        process_->disconnect();
        process_->kill();
        process_->waitForFinished(1000);
    }
}

bool ArpFlush::Running() const {
    return process_ && process_->state() != QProcess::NotRunning;
}

void ArpFlush::Start(std::vector<std::string> names) {
    if (Running()) return;
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& name) { return !IsInterfaceName(name); }),
                names.end());
    if (names.empty()) {
        emit Notice(UiText(language_, IDS_ARP_NO_INTERFACE), true);
        return;
    }
    std::vector<std::string> argv = command_;
    if (argv.empty()) {
        const QStringList system_dirs{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                      QStringLiteral("/usr/bin"), QStringLiteral("/bin")};
        const QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"), system_dirs);
        argv = {ip.toStdString(), "-batch", "-"};
        if (::geteuid() != 0) {
            // The package's polkit action names this program; pkexec asks
            // for the password the desktop's usual way.
            const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
            if (pkexec.isEmpty() || ip.isEmpty()) {
                emit Notice(UiText(language_, IDS_ARP_NEEDS_ROOT), true);
                return;
            }
            argv.insert(argv.begin(), pkexec.toStdString());
        }
    }
    QString list;
    QByteArray batch;
    for (const std::string& name : names) {
        list += (list.isEmpty() ? QString() : QStringLiteral(", ")) + QString::fromStdString(name);
        batch += "neigh flush dev " + QByteArray::fromStdString(name) + "\n";
    }

    // The last one has finished; it goes at the next turn, saying nothing more.
    if (process_) process_->disconnect(this);
    process_.reset(new QProcess(this));
    process_->setProcessChannelMode(QProcess::MergedChannels);
    connect(process_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit Notice(UiText(language_, IDS_ARP_FAILED).arg(process_->errorString()), true);
    });
    connect(process_.get(), &QProcess::finished, this,
            [this, list](int code, QProcess::ExitStatus how) {
                const QString output =
                    StripControls(QString::fromLocal8Bit(process_->readAll()).trimmed());
                if (how == QProcess::NormalExit && code == 0) {
                    emit Notice(UiText(language_, IDS_ARP_DONE).arg(list), false);
                } else {
                    const QString why =
                        output.isEmpty() ? QStringLiteral("exit code %1").arg(code) : output;
                    emit Notice(UiText(language_, IDS_ARP_FAILED).arg(why), true);
                }
            });
    emit Notice(UiText(language_, IDS_ARP_RUNNING).arg(list), false);
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i) arguments << QString::fromStdString(argv[i]);
    // No shell: the program and its arguments go to the kernel as they are.
    process_->start(QString::fromStdString(argv.front()), arguments);
    process_->write(batch);
    process_->closeWriteChannel();
}

}  // namespace quorvex
