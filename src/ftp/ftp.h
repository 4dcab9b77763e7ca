#pragma once
// TStarFtp: the FTP client component. The inherited socket is the control connection. Every
// operation returns at once; its notices, errors and completion event arrive later on the
// user-interface thread. The owner starts the next operation from a completion event (or later)
// and tests Success there.

#include "ftp/ftpaddr.h"
#include "ftp/ftplist.h"
#include "ftp/ftpnames.h"
#include "ftp/ftptypes.h"
#include "ftp/replyreader.h"
#include "ftp/storesource.h"
#include "net/starsock.h"
#include "net/tlslink.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What OnFtpNeedInfo asks the owner for.
enum TFtpInfoNeeded : std::uint8_t {
    ftpnServer = 0,
    ftpnUserName = 1,
    ftpnUserPassword = 2,
    ftpnUserAccount = 3,
};

class QSocketNotifier;
class QTimer;
class TStarFtp;
using TNotifyEvent = std::function<void(TStarFtp& sender)>;
using TFtpInfoEvent =
    std::function<void(TStarFtp& sender, FtpInfo info, const std::string& addinfo)>;
using TFtpErrorEvent =
    std::function<void(TStarFtp& sender, FtpError error, const std::string& addinfo)>;
using TFtpInfoNeededEvent =
    std::function<void(TStarFtp& sender, TFtpInfoNeeded need, std::string& value)>;
// The server's certificate failed the check: set `trust` to go on with it.
using TFtpCertificateEvent =
    std::function<void(TStarFtp& sender, const TCertificateInfo& certificate, bool& trust)>;

class TStarFtp : public TStarSocket {
  public:
    TStarFtp();
    ~TStarFtp() override;

    // Operations. Login: lookup, connect, USER/PASS/ACCT, SYST, FEAT (OPTS UTF8 ON when the names
    // go in UTF-8 and the server lists UTF8), CWD InitialDirectory. It
    // starts a new session on the same instance whatever ended the last one (an error, a lost
    // connection, Quit, EndSession); what the last one had posted and not yet delivered is dropped.
    void Login();
    void ChangeDirectory(const std::string& directory);
    // MKD directory. OnDirectoryCreated follows either way; Success is false when the server
    // refused (a folder of that name may already be there).
    void CreateDirectory(const std::string& directory);
    // PWD, TYPE A, PORT, LIST (MLSD with UseMlsd); the lines arrive on a data connection the server
    // opens to us (in PassiveMode: EPSV or PASV, and we open it before LIST). TYPE, here and for a
    // store, goes out only when the connection is not known to be in that type already.
    void GetListing();
    // TYPE, PORT, STOR RemoteFile; LocalFile goes out in blocks of BlockSize bytes, converted by
    // TransferMode. Over IPv6, EPRT stands for PORT. After a binary store the server's SIZE is
    // compared with the bytes sent, when it has SIZE; with UseTempName, STOR goes to the temporary
    // name and RNFR/RNTO follow. OnFileStored comes once, after all of it.
    void StoreFile();
    // Stops the running transfer: Telnet IP, the urgent Telnet data mark, ABOR, and the data
    // connection closed; the operation completes (Success false) once the server has answered.
    // Before LIST or STOR has gone out, they are just never sent.
    void Abort();
    // MDTM RemoteFile: the file's modification time on the server, in FileTime. OnFileTimeRead
    // follows whether the server gave one or not (then Success is false).
    void GetFileTime();
    void Quit();
    // Ends the session whatever runs, within graceMs: a transfer is aborted, a lookup or connect
    // is dropped, QUIT goes out when the control connection is up, and OnFtpQuit follows once the
    // server has answered or closed, or at the latest when graceMs have passed. Also while busy.
    // The operation in hand is given up: no completion event, no OnFtpReady and no error follow,
    // only the one OnFtpQuit (also when nothing was connected).
    void EndSession(int graceMs = 1000);

    // Published properties.
    const std::string& FtpServer() const { return ServerText(); }
    void SetFtpServer(const std::string& server) { SetServer(server); }
    std::uint16_t FtpPort = 21; // 0 becomes 21 at login
    std::string UserName;
    std::string UserPassword;
    std::string UserAccount;
    std::string LocalFile; // a path as the host gives it, opened as it is
    std::string RemoteFile;
    std::string Ftp_URL;
    TTransferType TransferMode = BinaryTransfer; // also the code of commands and replies
    // The code of names, replies and listing lines. Until FEAT has been answered, and for good
    // when the names do not go in UTF-8, commands and replies are in the code of TransferMode
    // (ncSjis: unconverted).
    TNameCode NameCode = ncTransferMode;
    // Set once FEAT has been answered when the names go in UTF-8 (ncUtf8, or ncAuto and the server
    // lists UTF8). Then the texts this component takes and gives (RemoteFile, InitialDirectory, a
    // directory to change to, LastReply, the listing's lines and names) are UTF-8 and go on the
    // wire as they are; otherwise they are in the system code page, as ever. The InitialDirectory
    // given before Login is in the system code page and is converted when the names turn to UTF-8.
    bool Utf8Names() const { return utf8Names_; }
    std::string InitialDirectory;
    bool WinsockStarted() const { return WinsockRunning(); }
    void SetWinsockStarted(bool start);
    std::string Version;
    bool Success() const { return success_; }
    bool PWDImplemented = true;
    // Data connections opened by us: EPSV, or PASV on IPv4 when the server refuses EPSV (the
    // session then keeps to PASV); and a host name may lead to its IPv6 addresses too. Off, every
    // data connection is active (PORT; EPRT when the server is given as an IPv6 address) and a
    // name leads to its IPv4 addresses only.
    bool PassiveMode = false;
    TFTPServerType ServerType = ftpstDefault; // from the SYST reply, at every login
    // A store goes to a temporary name in RemoteFile's folder and is renamed (RNFR/RNTO) to
    // RemoteFile once its final reply says it completed; on failure or cancel the temporary file
    // is deleted, so a copy already there stays whole. When the server refuses the rename the
    // component deletes the temporary file, stores under RemoteFile itself, and clears this.
    bool UseTempName = false;
    // After a good store (after its rename, with UseTempName), when the server lists MFMT, the
    // file's modification time on the server becomes the local file's. A refusal is only logged:
    // the file counts as stored all the same.
    bool KeepModifiedTime = false;
    // The features of the FEAT reply after login ("SIZE", "MDTM", "UTF8", ...), upper case,
    // without arguments; empty when the server refused FEAT.
    std::vector<std::string> Features;
    bool HasFeature(std::string_view name) const;
    // Explicit TLS: AUTH TLS after the greeting and TLS before USER; PBSZ 0 and PROT P after the
    // login, and every data connection TLS too, resuming the control connection's session. A
    // refusal or a failed handshake ends the session (ftpeSecureConnection); nothing goes out in
    // clear after the greeting.
    bool UseTls = false;
    // The SHA-256 fingerprint (TCertificateInfo's form) of a certificate that is trusted although
    // it fails the check. Any other such certificate goes to OnFtpCertificate; one trusted there is
    // put here.
    std::string TrustedCertificate;
    // GetListing asks with MLSD instead of LIST: exact sizes and UTC times, the same on every
    // server. When the server refuses MLSD the listing goes on with LIST, and so does every later
    // listing of the session.
    bool UseMlsd = false;
    // GetListing lists this folder (its path the argument of LIST or MLSD) instead of the current
    // one: no PWD goes out and InitialDirectory stays as it is. Empty: the current folder.
    std::string ListingPath;
    // The lines of the last listing are MLSD's (ParseMlsdLine), not LIST's (ParseListLine).
    bool MlsdListing = false;
    // TimeOutConnect and TimeOutArp are the socket's.

    TFtpInfoEvent OnFtpInfo;
    TFtpInfoNeededEvent OnFtpNeedInfo;
    TFtpCertificateEvent OnFtpCertificate;
    TNotifyEvent OnFtpReady;
    TFtpErrorEvent OnFtpError;
    TNotifyEvent OnLoggedIn;
    TNotifyEvent OnDirectoryChanged;
    TNotifyEvent OnDirectoryCreated;
    TNotifyEvent OnDirectoryDeleted;
    TNotifyEvent OnFileDeleted;
    TNotifyEvent OnFileReceived;
    TNotifyEvent OnFileStored;
    TNotifyEvent OnListingDone;
    TNotifyEvent OnFileRenamed;
    TNotifyEvent OnFileTimeRead;
    TNotifyEvent OnFtpQuit;

    // The last listing: every line as received (without its LF or CR LF), and the names of its
    // entries. Partial when the listing failed (Success false).
    std::vector<std::string> ListingLines;
    std::vector<std::string> FileNames;
    std::vector<std::string> DirectoryNames;
    std::int64_t BytesTransferred = 0; // of the running transfer; 64 bits so files past 2 GiB count
    std::int32_t ElapsedTime = 0;      // milliseconds since the data connection was accepted
    // Set when a block of listing data is read; cleared at the end of the listing and when a
    // store's data starts, so a listing that was aborted or failed leaves it set until then. The
    // owner reads it to tell a listing's progress notices from a store's, also after the listing
    // has ended, which is why the transfer phase cannot stand for it.
    bool Listing = false;

    // Read by the owner.
    FtpError ErrorCode() const { return errorCode_; }
    // How the last text store read its file, and where it found a character without a form in
    // the transfer code (ftpeTextNotConvertible).
    const TTextCheck& TextRead() const { return textCheck_; }
    // The server's last complete reply line (final line of a multi-line reply), in the code of the
    // component's texts (see Utf8Names); the reason of a refusal. The replies to the DELE of a
    // temporary file and to the NOOP after an unanswered ABOR do not count: after a failed store it
    // still holds the reply that failed it.
    const std::string& LastReply() const { return lastReply_; }
    // The server's certificate of this session, and why its TLS failed (ftpeSecureConnection or
    // ftpeCertificateRejected).
    const TCertificateInfo& Certificate() const { return certificate_; }
    const std::string& TlsFailure() const { return tlsFailure_; }
    bool Busy() const { return busy_; }
    bool ControlConnected() const { return controlConnected_; }
    TransferPhase Phase() const { return phase_; }
    // The folder the login's CWD entered (InitialDirectory as it went out), until the next CWD;
    // empty when it entered none.
    const std::string& LoginFolder() const { return loginFolder_; }
    // The modification time the last store gave its file on the server (KeepModifiedTime), in
    // seconds since 1970 UTC; nullopt when it set none.
    const std::optional<std::int64_t>& KeptTime() const { return keptTime_; }
    // The last store's STOR has reached the server: it went out alone, or behind a PORT the server
    // has answered. Until then the server has not begun on it.
    bool StorSent() const { return storSent_; }
    // The answer of the last GetFileTime, in seconds since 1970 UTC; nullopt when the server gave
    // none.
    const std::optional<std::int64_t>& FileTime() const { return fileTime_; }

    // Control text with no line end beyond this ends the session: a server that never ends its
    // line must not grow memory without bound.
    static constexpr std::size_t MaxReplyLine = 64 * 1024;
    // A listing line longer than this without a line end is dropped up to its LF, for the same
    // reason.
    static constexpr std::size_t MaxListingLine = 64 * 1024;
    // Bytes of the local file read and sent at a time.
    static constexpr int BlockSize = static_cast<int>(TStoreSource::BlockSize);
    // Bytes of a binary file the kernel is asked to send at a time.
    static constexpr std::size_t KernelChunk = 512 * TStoreSource::BlockSize;
    // The send queue of a binary store to a server on this host (the kernel doubles it).
    static constexpr int LoopbackSendQueue = 64 * 1024;
    // The send loop runs the event queue at least this often (milliseconds).
    static constexpr int PumpInterval = 10;
    // Listing blocks read in one read event at most, so that the queue still runs in between.
    static constexpr int ListingReadsPerEvent = 32;
    // Past its first ListingReadThreshold bytes, a listing wakes its reader only once that much
    // more has arrived, at its end, or ListingStallWait ms after the last read while bytes wait: a
    // big folder's listing comes in packets of a line or two, and every wake-up of the reader
    // costs the sending server too.
    static constexpr int ListingReadThreshold = 32 * 1024;
    static constexpr int ListingStallWait = 20;
    // Once the aborted transfer's own final reply is in, ABOR's reply is awaited this long (ms):
    // some servers never answer an ABOR that came after the transfer had completed.
    static constexpr int AborReplyWait = 3000;

  protected:
    void HostResolved() override;

  private:
    using ReplyState = TReplyState;

    // Completion event fired by the next ready notification.
    enum PendingCompletion : std::uint8_t {
        peNone = 0,
        peLoggedIn = 1,
        peDirectoryChanged = 2,
        peDirectoryCreated = 3,
        peDirectoryDeleted = 4,
        peFileDeleted = 5,
        peFileReceived = 6,
        peFileStored = 7,
        peListingDone = 8,
        peFileRenamed = 9,
        peFileTimeRead = 10,
    };

    bool BeginOperation();
    void Info(FtpInfo info, const std::string& addinfo);
    void Need(TFtpInfoNeeded need, std::string& value);
    // False when the text holds CR or LF: it would carry a second command, so nothing is sent.
    bool SendCommand(const std::string& text);
    bool IssueCommand(const std::string& text, ReplyState next);
    // A command whose reply comes before that of the one sent right behind it: false when nothing
    // may follow (a line break in it, or the connection lost).
    bool SendAhead(const std::string& text);
    void SetReplyState(ReplyState next);
    void SetPhase(TransferPhase next);
    void ChangeState(ReplyState reply, TransferPhase phase);
    // The reply countdown (TimeOutConnect) runs while a reply outside a transfer is due.
    bool ReplyTimed() const;
    void ArmReplyTimer();
    void ResetCounts();
    void SocketConnected();
    void SocketClosed();
    void ReadControlData();
    std::string FromWire(std::string_view bytes) const;
    std::string ToWire(const std::string& line) const;
    // The code the control text is converted to and from on the wire, by TransferMode;
    // BinaryTransfer when it goes unconverted.
    TTransferType WireCode() const;
    void TakeReply(const TReplyLine& line);
    bool WaitControlWritable(std::int64_t deadline);
    std::int64_t SendDeadline() const;
    void SendTimedOut();
    bool ControlLost() const { return shutDown_ || Socket() < 0; }
    // A store is in hand, from its first command to its last reply.
    bool StoreInHand() const {
        return replyState_ >= ReplyState::StoreType &&
               replyState_ <= ReplyState::DeleteTempThenDirect;
    }
    bool DeletingTemp() const {
        return replyState_ == ReplyState::DeleteTemp ||
               replyState_ == ReplyState::DeleteTempThenDirect;
    }
    bool SyncingAbort() const {
        return replyState_ == ReplyState::ListAbortSync ||
               replyState_ == ReplyState::StoreAbortSync;
    }

    void HandleReply(const std::string& line);
    void OnGreeting(char kind);
    void SendUser();
    void LoginAccepted();
    void OnAuthTls(const std::string& line);
    void ControlSecured();
    bool CertificateAccepted();
    void OnProtection(const std::string& line);
    void SecureRefused(const std::string& reason);
    bool DataSecured(void (TStarFtp::*next)());
    void DataHandshakeDone(void (TStarFtp::*next)());
    void EndSecureUpload(std::uint32_t serial);
    void DrainSecureData();
    void OnUser(char kind);
    void OnPassword(char kind);
    void OnAccount(char kind);
    void AskSystem();
    void OnSystem(const std::string& line);
    void OnFeat(const std::string& line);
    void NamesInUtf8(bool on);
    void AskUtf8();
    void OnOptsUtf8();
    void EnterLoginDirectory();
    void OnLoginDirectory(char kind);
    void OnChangeDirectory(char kind);
    void OnMakeDirectory(char kind);
    void DirectoryChanged(bool changed);
    void OnQuit(char kind);
    void AskDirectory();
    void OnListDirectory(const std::string& line);
    // TYPE goes out unless the server is in that type already: false when nothing was sent.
    bool SendType(char type, ReplyState next);
    void TypeAnswered(char kind);
    void OnListType(char kind);
    void ListingTypeSet();
    void OnListPort(char kind);
    void OnListPortAhead(char kind);
    void OnList(const std::string& line);
    void MlsdRefused();
    void OnStoreType(char kind);
    void StoreTypeSet();
    void OnStorePort(char kind);
    void OnStorePortAhead(char kind);
    void OnStore(const std::string& line);
    void OpenStore();
    void StoreTransferEnded();
    void RenameOrFinish();
    void OnStoreSize(const std::string& line);
    void OnRenameFrom(char kind);
    void OnRenameTo(char kind);
    void DeleteTempFile(bool thenDirect);
    void OnDeleteTemp(const std::string& line);
    void FinishStore(bool stored);
    // The local file's time in MFMT's form, when it is to be kept and the server can.
    std::optional<std::string> TimeToKeep() const;
    // The file is complete under its final name: its time is kept, then the store ends.
    void StoreComplete();
    void OnStoreTime(const std::string& line);
    void OnFileTime(const std::string& line);
    void AborReplyOverdue();
    void OnAbortSync(const std::string& line);
    void LoginRefused();
    void LoggedIn();
    void DetectServerType(const std::string& reply);

    // Data side.
    bool BuildPortArgument(std::string& argument);
    // PORT (EPRT) with the reply state `next`; with StorePortAhead STOR goes out behind it, with
    // ListPortAhead LIST or MLSD.
    void SendPort(ReplyState next);
    void SendPassive(bool list);
    void OnPassive(const std::string& line);
    void ConnectData(const std::string& address, std::uint16_t port);
    void DataConnected();
    void DataConnectFailed(const std::string& why);
    void StartListing(bool portAhead = false);
    void StartStore(ReplyState state);
    bool CancelledBeforeCommand();
    void TransferCommandSent(ReplyState state, TSocketEvent acceptHandler);
    void AbortTransfer(bool reportDone);
    bool Aborting() const {
        return phase_ == TransferPhase::AbortTransferReply ||
               phase_ == TransferPhase::AbortAborReply;
    }
    bool OnAbortReply(const std::string& line);
    void SendAbort();
    void EndAborted();
    void TransferComplete();
    void ListingAccepted();
    void ListingStarted();
    void ReceiveListing();
    void ReadListingBlocks();
    int ReceiveListingBlock();
    void TakeListingLine(const std::string& line);
    void ListingEnded();
    void UploadAccepted();
    void SendFile();
    enum class SendStep : std::uint8_t {
        Moved,  // bytes went, more may follow at once
        Full,   // the data socket takes nothing now
        Done,   // the whole file has gone
        Failed, // the store has been failed or aborted
    };
    SendStep SendFromSource();
    SendStep SendFromFile();
    void DataSendFailed();
    void ReportSentFile(bool fileEnded);
    void WaitWritable();
    void ReportSentBlocks();
    bool StillSending(std::uint32_t serial) const;
    void UploadEnded();
    void LocalReadFailed();
    void StoreServerClosed();
    void DataDone();
    void FinalReply();
    void CloseData();
    void CloseLocalFile();
    std::int32_t Elapsed() const;
    bool SendRaw(const char* bytes, int length, bool urgent);

    bool CheckSocketError();
    void FatalError(FtpError code, const std::string& addinfo = "Error");
    void ReportError(FtpError code);
    void ShutDown();
    void CloseAll();
    void PostReady();
    void PostQuit();
    void Post(unsigned message);
    void ContinueEnding();
    void FinishEnding();
    void Notification(const TSocketMessage& message);

    TStarSocket listener_;   // the data side listens here
    TStarSocket dataSocket_; // and carries the data connection here

    TReplyReader reader_{MaxReplyLine};
    std::vector<std::string> featureLines_; // inner lines of the FEAT reply so far
    bool utf8Names_ = false;
    std::string loginFolder_;
    std::string utf8Directory_; // InitialDirectory as last set in UTF-8 by this component
    TTextCheck textCheck_;      // of the store in hand
    FtpError errorCode_ = ftpeNoError;
    bool success_ = false;
    // Greeting is the reply state of the lookup and the connect too: this says the connection is
    // up.
    bool controlConnected_ = false;
    // An operation runs until its completion is delivered, after its reply state is Idle again.
    bool busy_ = false;
    PendingCompletion pendingEvent_ = peNone;
    ReplyState replyState_ = ReplyState::Idle;
    // Facts of the connection and the operation, not of the protocol's step: the reply state
    // says what is due, these say whether anything can be due and whether the owner may start.
    bool inReplyHandler_ = false; // a reply line is being interpreted: reads wait for it
    bool shutDown_ = false;       // the socket failed; nothing more is sent or read
    std::string lastReply_;
    TCertificateInfo certificate_;
    std::string tlsFailure_;
    // Counts sessions: every Login and EndSession starts a new one, and a notification posted in
    // an earlier one is dropped (a second quit after a socket error must not end the next login).
    std::uint32_t session_ = 0;
    enum class Ending : std::uint8_t {
        No,      // no EndSession
        Running, // EndSession runs: aborting, deleting, QUIT
        Done,    // its one quit notification is posted
    };
    Ending ending_ = Ending::No;
    std::unique_ptr<QTimer> endTimer_; // graceMs of EndSession
    std::int64_t endDeadline_ = 0;

    // Facts of the store attempt in hand (a fall-back store under the final name is a second
    // attempt), set once per attempt by OpenStore; the reply state says where the attempt is.
    bool tempStore_ = false;         // this attempt stores under the temporary name
    std::string storeName_;          // the name STOR went to
    bool storAccepted_ = false;      // the server took STOR (1xx or a final 2xx; the file waits for
                                     // it): it may have created the file, whatever state followed
    bool storSent_ = false;          // STOR reached the server (see StorSent)
    bool storeCancelled_ = false;    // the owner's Abort while MFMT's, SIZE's or DELE's reply was
                                     // due; a request kept for that reply's handler, read nowhere
                                     // else
    std::int64_t localModified_ = 0; // the local file's modification time, seconds since 1970 UTC
    std::optional<std::int64_t> keptTime_;
    std::optional<std::int64_t> fileTime_;
    std::unique_ptr<QTimer> aborWait_; // AborReplyWait

    TLineSplitter listingLines_;
    // The data socket's read threshold is set: a fact of that socket, not of the protocol.
    bool listingBatched_ = false;
    std::unique_ptr<QTimer> listingStall_; // reads what waits below the threshold
    TListState listState_;                 // one per listing
    std::string listingPath_;              // ListingPath of the listing in hand
    int localFile_ = -1;
    std::int64_t localSize_ = 0;
    std::int64_t startTick_ = 0; // steady clock, milliseconds
    char buffer_[BlockSize] = {};
    TStoreSource source_;
    bool kernelSend_ = false;     // the store in hand goes from the file by the kernel
    std::int64_t fileOffset_ = 0; // of the file, sent by the kernel so far
    std::unique_ptr<QSocketNotifier> writable_; // wakes the send loop when the socket takes more
    TransferPhase phase_ = TransferPhase::None;
    std::uint32_t transferSerial_ = 0; // counts the data connections
    bool epsvRefused_ = false;         // the server refused EPSV once: a fact of the session
    bool mlsdRefused_ = false;         // the server refused MLSD once: a fact of the session
    // The greeting names a server known to lose a command that comes before the reply to the one
    // before it: every command then waits for the reply to the last.
    bool oneAtATime_ = false;
    // The greeting names a server that answers PORT at once, before it opens a data connection.
    bool portAtOnce_ = false;
    std::string dataTarget_; // "address port" of the passive data connection

    // The representation type ('A' or 'I') the server last accepted on this connection; 0 while
    // it is not known: before the first TYPE, while one is unanswered, after a refusal, and after
    // a transfer that was aborted or failed.
    char typeInForce_ = 0;
    char typeAsked_ = 0;     // of the TYPE whose reply is due
    bool portTaken_ = false; // the server has accepted a PORT on this connection
    // Our address on the control connection, where data connections are listened for; empty
    // until the first PORT of the connection.
    std::string localAddress_;
};
