#pragma once
// The codes of the FTP component's notices, errors and states, their names for logs and test
// transcripts, and the numbers of the protocol that the component acts on.

#include <cstdint>
#include <string_view>

// Notices of OnFtpInfo. 8 is not used.
enum FtpInfo : std::uint8_t {
    ftpiConnected = 0,    // addinfo: the server's dotted address
    ftpiNotConnected = 1, // "Disconnected" when the server closed; "" when there is no connection
    ftpiResolving = 2,    // the host name
    ftpiResolved = 3,     // the dotted address
    ftpiReceived = 4,     // control text as read, also the final empty read
    ftpiSent = 5,         // the command line as sent, with its line end
    ftpiBusy = 6,
    ftpiProgress = 7,
    ftpiTransferDone = 9,
    ftpiListingReady = 10,
    ftpiLoggedIn = 11,
    ftpiFileSize = 12,
    ftpiCommandFailed = 13,
    ftpiListingLine = 14,
    ftpiDataConnection = 15, // a line for the log: where a passive data connection goes, or why not
    ftpiLogNote = 16,        // a line for the log: a step the component chose on its own (a
                             // fall-back taken, a temporary file deleted)
    ftpiSizeMismatch = 17,   // after a store: "SENT REMOTE", the bytes sent and the server's SIZE;
                             // the store fails
    ftpiTextSource = 18,     // before a text store: how the local file is read, "UTF-8",
                             // "UTF-8 BOM" (the mark is dropped) or "Shift_JIS"
};

// Errors of OnFtpError. 14, 17, 20 and 25 are never raised.
enum FtpError : std::uint8_t {
    ftpeNoError = 0, // also: QUIT not answered with 2xx
    ftpeWinsockNotInitialized = 1,
    ftpeNetworkDown = 2,
    ftpeInvalidAddress = 3,
    ftpeInternal = 4,
    ftpeGeneralWinsock = 5,
    ftpeConnectionAborted = 6,
    ftpeConnectionReset = 7,
    ftpeTimeOut = 8,
    ftpeOutOfSockets = 9,
    ftpeNetworkUnreachable = 10,
    ftpeAddressNotAvailable = 11,
    ftpeConnectionRefused = 12,
    ftpeCommandFailed = 13,
    ftpeUnknown = 15,
    ftpeAddressResolution = 16,
    ftpeHostUnreachable = 18,
    ftpeNoServer = 19,
    ftpeLocalFileOpen = 21,
    ftpeLocalFileWrite = 22,
    ftpeLocalFileRead = 23,
    ftpeNoRemoteFile = 24,
    ftpeServerNotReady = 26,
    ftpeLoginRefused = 27,
    ftpeDataConnection = 28,
    ftpeTextNotConvertible = 29,  // a character of a text file has no form in the transfer code
    ftpeSecureConnection = 30,    // AUTH TLS, PBSZ or PROT refused, or the TLS handshake failed
    ftpeCertificateRejected = 31, // the server's certificate failed the check and was not trusted
};

// Where the running listing or store is. Changed in one place only (TStarFtp::ChangeState).
enum class TransferPhase : std::uint8_t {
    None,               // no transfer runs
    Preparing,          // PWD, TYPE, PORT or EPSV/PASV outstanding, or the passive data
                        // connection being opened; LIST or STOR not yet sent
    Cancelled,          // Abort came before LIST or STOR went out: it never will
    EarlyConnection,    // the server connected before LIST or STOR went out; it waits
    Waiting,            // LIST or STOR sent; the server's data connection not yet taken
    Moving,             // data moving; the final reply not yet in
    ReplyFirst,         // the final reply is in; the data side has not ended yet
    DataFirst,          // the data side has ended; the final reply not yet in
    AbortTransferReply, // ABOR sent: the aborted command's reply and ABOR's own are due
    AbortAborReply,     // ABOR sent: only ABOR's own reply is due
    Done,               // both sides ended; the ready notification is posted
};

// What the reply interpreter expects next; the value is the command the reply answers. The
// states of a store lie between StoreType and DeleteTempThenDirect, and only they: StoreTime comes
// after a complete store, with nothing left to undo.
enum class TReplyState {
    Greeting = 0,           // the server's welcome
    AuthTls = 21,           // AUTH TLS, right after the greeting
    TlsHandshake = 22,      // no reply due: TLS is being set up on the control connection
    ProtectBuffer = 23,     // PBSZ 0, after the login
    Protection = 24,        // PROT P
    User = 1,               // USER
    Password = 2,           // PASS
    Account = 3,            // ACCT
    Feat = 4,               // FEAT, after SYST
    SystemFeat = 25,        // SYST, with FEAT out behind it
    OptsUtf8 = 20,          // OPTS UTF8 ON, after FEAT
    OptsUtf8Cwd = 26,       // OPTS UTF8 ON, with the login's CWD out behind it
    System = 5,             // SYST
    LoginDirectory = 6,     // CWD right after login
    ListDirectory = 7,      // PWD, the first step of a listing
    ListDirectoryType = 16, // PWD, with TYPE A out behind it
    ListType = 8,           // TYPE A of a listing
    ListPort = 9,           // PORT of a listing
    ListPortAhead = 17,     // PORT of a listing, with LIST (or MLSD) out behind it
    ListEpsv = 10,          // EPSV of a listing
    ListPasv = 11,          // PASV of a listing
    ListConnect = 12,       // no reply due: the data connection of LIST is being opened
    List = 13,              // LIST: 1xx, then the final 2xx
    ListAbortSync = 14,     // NOOP after an unanswered ABOR of LIST; late ABOR replies come first
    Mlsd = 15,              // MLSD in place of LIST: 1xx, then the final 2xx; a refusal means LIST
    StoreType = 30,         // TYPE A or TYPE I of a store
    StorePort = 31,         // PORT of a store
    StorePortAhead = 32,    // PORT of a store, with STOR out behind it
    StoreEpsv = 33,         // EPSV of a store
    StorePasv = 34,         // PASV of a store
    StoreConnect = 35,      // no reply due: the data connection of STOR is being opened
    Store = 36,             // STOR: 1xx, then the final 2xx (426 of an aborted store ignored)
    StoreAbortSync = 37,    // NOOP after an unanswered ABOR of STOR; late ABOR replies come first
    StoreEnded = 38,        // no reply due: the transfer has ended; SIZE, RNFR or DELE may follow
    StoreTempTime = 39,     // MFMT of the temporary file; the rename follows
    StoreTempTimeSize = 40, // MFMT of the temporary file, with SIZE out behind it (or due after it)
    StoreSize = 41,         // SIZE of what was just stored
    RenameFrom = 42,        // RNFR of the temporary name (RNTO went out with it, or follows a 350)
    RenameTo = 43,          // RNTO of the final name
    RenameToFailed = 44,    // RNTO after a refused RNFR: the rename failed whatever this reply says
    DeleteTemp = 45,        // DELE of the temporary name; the store ends with it
    DeleteTempThenDirect = 46, // DELE of the temporary name after a refused rename; a store under
                               // the final name follows
    StoreTime = 47, // MFMT of the file just stored under its final name; the store ends with it
    FileTime = 52,  // MDTM of a file on the server
    ChangeDirectory = 50,
    MakeDirectory = 51,
    Quit = 60,
    EndQuit = 61, // QUIT of EndSession: only 221 or the server's close counts
    Idle = 100,   // no command outstanding: replies are ignored
};

// Names for logs and test transcripts.
const char* TransferPhaseName(TransferPhase phase);
const char* FtpInfoName(FtpInfo info);
const char* FtpErrorName(FtpError error);
const char* ReplyStateName(TReplyState state);

struct TSocketFailure {
    FtpError code;
    const char* text; // passed with the error
};
// A Windows Sockets number as the component reports it.
TSocketFailure MapSocketError(std::uint16_t error);

// Reply codes the component tells apart.
namespace ReplyCode {
inline constexpr std::string_view ServiceClosing = "221"; // QUIT answered
inline constexpr std::string_view ServiceLost = "421";    // the server ends the session
inline constexpr std::string_view AbortOk = "225";        // ABOR with nothing moving
inline constexpr std::string_view TransferDone = "226";   // closing the data connection
inline constexpr std::string_view TransferAborted = "426";
inline constexpr std::string_view FileStatus = "213"; // the answer to SIZE
} // namespace ReplyCode

// True when a reply line starts with the code.
inline bool HasReplyCode(std::string_view line, std::string_view code) {
    return line.substr(0, code.size()) == code;
}
