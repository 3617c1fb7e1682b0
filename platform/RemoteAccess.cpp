#include "platform/RemoteAccess.h"

#include <QHash>
#include <QMutex>

#include <cstring>

namespace vorn
{

void copyToField(char* field, std::size_t fieldSize, const QByteArray& text)
{
    std::memset(field, 0, fieldSize);
    if (fieldSize == 0)
        return;
    auto length = std::min<std::size_t>(static_cast<std::size_t>(text.size()), fieldSize - 1);
    // Step back over UTF-8 continuation bytes so no character is cut in half.
    if (length < static_cast<std::size_t>(text.size())) {
        while (length > 0 && (static_cast<unsigned char>(text[static_cast<qsizetype>(length)]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(field, text.constData(), length);
}

std::uint32_t registerWindowMessage(const char* name)
{
    static QMutex mutex;
    static QHash<QByteArray, std::uint32_t> registered;
    const QMutexLocker lock(&mutex);
    const QByteArray key(name);
    if (auto found = registered.constFind(key); found != registered.cend())
        return *found;
    const int type = QEvent::registerEventType();
    const auto number = type < 0 ? 0U : static_cast<std::uint32_t>(type);
    if (number != 0)
        registered.insert(key, number);
    return number;
}

std::uint16_t dialEventMessage()
{
    const auto number = static_cast<std::uint16_t>(registerWindowMessage("RASDialEvent") & 0xFFFF);
    return number != 0 ? number : std::uint16_t(0xCCCD);
}

QString rasErrorText(std::uint32_t code)
{
    // Texts in our own words for the published codes a dial-up user meets.
    static const QHash<std::uint32_t, const char*> texts = {
        { 600, "The operation is still in progress." },
        { 601, "The port handle is not valid." },
        { 602, "The port is already in use." },
        { 603, "The buffer given is too small for the answer." },
        { 604, "The information given does not fit the request." },
        { 606, "The port is not connected." },
        { 608, "The device does not exist." },
        { 609, "The device type is not known." },
        { 610, "The buffer given is not valid." },
        { 611, "The route is not available." },
        { 615, "The port was not found." },
        { 616, "An asynchronous request is still pending." },
        { 617, "The port or device is already disconnecting." },
        { 618, "The port is not open." },
        { 619, "The port is disconnected." },
        { 621, "The phonebook file cannot be opened." },
        { 622, "The phonebook file cannot be read." },
        { 623, "The phonebook has no entry of that name." },
        { 624, "The phonebook file cannot be written." },
        { 625, "The phonebook holds information that is not valid." },
        { 627, "A key is missing from the phonebook entry." },
        { 628, "The connection was closed before it was complete." },
        { 629, "The other end closed the connection." },
        { 630, "The modem or port failed." },
        { 631, "The connection was ended by the user." },
        { 633, "The modem is already in use or not set up for dialing out." },
        { 635, "An unknown error occurred." },
        { 638, "The request timed out." },
        { 645, "An internal authentication error occurred." },
        { 646, "Logging on is not allowed at this time of day." },
        { 647, "The account is disabled." },
        { 648, "The password has expired." },
        { 649, "The account has no permission to dial in." },
        { 651, "The modem reported an error." },
        { 652, "The modem gave an answer that was not recognised." },
        { 668, "The connection was dropped." },
        { 676, "The line is busy." },
        { 677, "A person answered instead of a modem." },
        { 678, "There was no answer." },
        { 679, "No carrier was detected." },
        { 680, "There is no dial tone." },
        { 691, "The user name or password was refused by the remote server." },
        { 692, "The modem or port does not respond." },
        { 711, "The remote-access service could not be reached." },
        { 718, "The remote server stopped answering during the logon." },
        { 720, "No network protocol could be agreed with the remote server." },
    };
    const auto found = texts.constFind(code);
    return found == texts.cend() ? QString() : QString::fromLatin1(*found);
}

} // namespace vorn
