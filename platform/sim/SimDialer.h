#pragma once

#include <QString>

// What the simulated dial-up application shows, shared by the service that
// shows it and the client that reports it to the wizard.
namespace vorn::sim
{

// String 204 of the dial-up application: title of its status window.
inline QString captionTemplate()
{
    return QStringLiteral("Connected to %s");
}

// Title of the window shown once when a connection is made.
inline QString connectedWindowTitle()
{
    return QStringLiteral("Connection Established");
}

// Name of the service program, looked for beside the running program.
inline QString serviceProgram()
{
    return QStringLiteral("vorn-dialupd");
}

} // namespace vorn::sim
