#include "support/program_run.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <signal.h>

#include <sstream>

namespace ovx::testing {

std::string ProgramPath(const std::string& name) {
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QString::fromStdString(name))
        .toStdString();
}

ProgramResult RunProgram(const ProgramCall& call) {
    QProcess process;
    QStringList args;
    for (const std::string& a : call.args) {
        args << QString::fromStdString(a);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const auto& [name, value] : call.env) {
        env.insert(QString::fromStdString(name), QString::fromStdString(value));
    }
    process.setProcessEnvironment(env);
    if (!call.workingDir.empty()) {
        process.setWorkingDirectory(QString::fromStdString(call.workingDir));
    }
    process.start(QString::fromStdString(ProgramPath(call.program)), args);
    ProgramResult result;
    if (!process.waitForStarted(10000)) {
        return result;
    }
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sinceInterrupt;
    bool interrupted = false;
    while (process.state() != QProcess::NotRunning) {
        process.waitForFinished(20);
        result.out += process.readAllStandardOutput().toStdString();
        result.err += process.readAllStandardError().toStdString();
        const bool seen = !call.interruptWhen.empty() &&
                          (result.out.find(call.interruptWhen) != std::string::npos ||
                           result.err.find(call.interruptWhen) != std::string::npos);
        if (seen && !interrupted) {
            ::kill(static_cast<pid_t>(process.processId()), SIGINT);
            sinceInterrupt.start();
            interrupted = true;
        }
        if (clock.elapsed() > static_cast<qint64>(call.timeoutSeconds * 1000)) {
            process.kill();
            process.waitForFinished(5000);
            break;
        }
    }
    if (interrupted) {
        result.interruptToExit = static_cast<double>(sinceInterrupt.nsecsElapsed()) * 1e-9;
    }
    result.out += process.readAllStandardOutput().toStdString();
    result.err += process.readAllStandardError().toStdString();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -9;
    return result;
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

} // namespace ovx::testing
