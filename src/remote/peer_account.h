#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// An account of this computer as the system names it: a user id on Linux,
// a security identifier (S-1-5-21-...) on Windows.
struct Account {
    QString id;
    // Can already do anything with the program's process and files (root):
    // serving it opens nothing new.
    bool allPowerful = false;

    friend bool operator==(const Account&, const Account&) = default;
};

// The account that owns the other end of a TCP connection on this
// computer; none when the system cannot tell (the other end already gone,
// its process out of reach).
std::optional<Account> localPeerAccount(qintptr connectedSocket);

// The account the program runs as; none when the system does not say.
std::optional<Account> programAccount();

// Whom the SCPI port serves, in the words of the line that turns a script
// away: the account that runs the program, and whoever else this system
// lets in with it.
QByteArray accountsServed();

// Only the account that runs the program, or one that can do anything
// with it anyway, may drive the supply. Whoever is not known is refused.
inline bool mayDriveSupply(const std::optional<Account>& peer, const std::optional<Account>& self) {
    return peer && !peer->id.isEmpty() &&
           (peer->allPowerful || (self && !self->id.isEmpty() && peer->id == self->id));
}
