#include "ftp/ftpnames.h"

#include "net/sockerr.h"

const char* TransferPhaseName(TransferPhase phase) {
    switch (phase) {
    case TransferPhase::None:
        return "None";
    case TransferPhase::Preparing:
        return "Preparing";
    case TransferPhase::Cancelled:
        return "Cancelled";
    case TransferPhase::EarlyConnection:
        return "EarlyConnection";
    case TransferPhase::Waiting:
        return "Waiting";
    case TransferPhase::Moving:
        return "Moving";
    case TransferPhase::ReplyFirst:
        return "ReplyFirst";
    case TransferPhase::DataFirst:
        return "DataFirst";
    case TransferPhase::AbortTransferReply:
        return "AbortTransferReply";
    case TransferPhase::AbortAborReply:
        return "AbortAborReply";
    case TransferPhase::Done:
        return "Done";
    }
    return "?";
}

const char* FtpInfoName(FtpInfo info) {
    switch (info) {
    case ftpiConnected:
        return "ftpiConnected";
    case ftpiNotConnected:
        return "ftpiNotConnected";
    case ftpiResolving:
        return "ftpiResolving";
    case ftpiResolved:
        return "ftpiResolved";
    case ftpiReceived:
        return "ftpiReceived";
    case ftpiSent:
        return "ftpiSent";
    case ftpiBusy:
        return "ftpiBusy";
    case ftpiProgress:
        return "ftpiProgress";
    case ftpiTransferDone:
        return "ftpiTransferDone";
    case ftpiListingReady:
        return "ftpiListingReady";
    case ftpiLoggedIn:
        return "ftpiLoggedIn";
    case ftpiFileSize:
        return "ftpiFileSize";
    case ftpiCommandFailed:
        return "ftpiCommandFailed";
    case ftpiListingLine:
        return "ftpiListingLine";
    case ftpiDataConnection:
        return "ftpiDataConnection";
    case ftpiLogNote:
        return "ftpiLogNote";
    case ftpiSizeMismatch:
        return "ftpiSizeMismatch";
    case ftpiTextSource:
        return "ftpiTextSource";
    }
    return "?";
}

const char* FtpErrorName(FtpError error) {
    switch (error) {
    case ftpeNoError:
        return "ftpeNoError";
    case ftpeWinsockNotInitialized:
        return "ftpeWinsockNotInitialized";
    case ftpeNetworkDown:
        return "ftpeNetworkDown";
    case ftpeInvalidAddress:
        return "ftpeInvalidAddress";
    case ftpeInternal:
        return "ftpeInternal";
    case ftpeGeneralWinsock:
        return "ftpeGeneralWinsock";
    case ftpeConnectionAborted:
        return "ftpeConnectionAborted";
    case ftpeConnectionReset:
        return "ftpeConnectionReset";
    case ftpeTimeOut:
        return "ftpeTimeOut";
    case ftpeOutOfSockets:
        return "ftpeOutOfSockets";
    case ftpeNetworkUnreachable:
        return "ftpeNetworkUnreachable";
    case ftpeAddressNotAvailable:
        return "ftpeAddressNotAvailable";
    case ftpeConnectionRefused:
        return "ftpeConnectionRefused";
    case ftpeCommandFailed:
        return "ftpeCommandFailed";
    case ftpeUnknown:
        return "ftpeUnknown";
    case ftpeAddressResolution:
        return "ftpeAddressResolution";
    case ftpeHostUnreachable:
        return "ftpeHostUnreachable";
    case ftpeNoServer:
        return "ftpeNoServer";
    case ftpeLocalFileOpen:
        return "ftpeLocalFileOpen";
    case ftpeLocalFileWrite:
        return "ftpeLocalFileWrite";
    case ftpeLocalFileRead:
        return "ftpeLocalFileRead";
    case ftpeNoRemoteFile:
        return "ftpeNoRemoteFile";
    case ftpeServerNotReady:
        return "ftpeServerNotReady";
    case ftpeLoginRefused:
        return "ftpeLoginRefused";
    case ftpeDataConnection:
        return "ftpeDataConnection";
    case ftpeTextNotConvertible:
        return "ftpeTextNotConvertible";
    case ftpeSecureConnection:
        return "ftpeSecureConnection";
    case ftpeCertificateRejected:
        return "ftpeCertificateRejected";
    }
    return "?";
}

const char* ReplyStateName(TReplyState state) {
    switch (state) {
    case TReplyState::Greeting:
        return "Greeting";
    case TReplyState::AuthTls:
        return "AuthTls";
    case TReplyState::TlsHandshake:
        return "TlsHandshake";
    case TReplyState::ProtectBuffer:
        return "ProtectBuffer";
    case TReplyState::Protection:
        return "Protection";
    case TReplyState::User:
        return "User";
    case TReplyState::Password:
        return "Password";
    case TReplyState::Account:
        return "Account";
    case TReplyState::Feat:
        return "Feat";
    case TReplyState::OptsUtf8:
        return "OptsUtf8";
    case TReplyState::ListDirectoryType:
        return "ListDirectoryType";
    case TReplyState::ListPortAhead:
        return "ListPortAhead";
    case TReplyState::System:
        return "System";
    case TReplyState::SystemFeat:
        return "SystemFeat";
    case TReplyState::OptsUtf8Cwd:
        return "OptsUtf8Cwd";
    case TReplyState::LoginDirectory:
        return "LoginDirectory";
    case TReplyState::ListDirectory:
        return "ListDirectory";
    case TReplyState::ListType:
        return "ListType";
    case TReplyState::ListPort:
        return "ListPort";
    case TReplyState::ListEpsv:
        return "ListEpsv";
    case TReplyState::ListPasv:
        return "ListPasv";
    case TReplyState::ListConnect:
        return "ListConnect";
    case TReplyState::List:
        return "List";
    case TReplyState::ListAbortSync:
        return "ListAbortSync";
    case TReplyState::Mlsd:
        return "Mlsd";
    case TReplyState::StoreType:
        return "StoreType";
    case TReplyState::StorePort:
        return "StorePort";
    case TReplyState::StorePortAhead:
        return "StorePortAhead";
    case TReplyState::StoreEpsv:
        return "StoreEpsv";
    case TReplyState::StorePasv:
        return "StorePasv";
    case TReplyState::StoreConnect:
        return "StoreConnect";
    case TReplyState::Store:
        return "Store";
    case TReplyState::StoreAbortSync:
        return "StoreAbortSync";
    case TReplyState::StoreEnded:
        return "StoreEnded";
    case TReplyState::StoreTempTime:
        return "StoreTempTime";
    case TReplyState::StoreTempTimeSize:
        return "StoreTempTimeSize";
    case TReplyState::StoreSize:
        return "StoreSize";
    case TReplyState::RenameFrom:
        return "RenameFrom";
    case TReplyState::RenameTo:
        return "RenameTo";
    case TReplyState::RenameToFailed:
        return "RenameToFailed";
    case TReplyState::DeleteTemp:
        return "DeleteTemp";
    case TReplyState::DeleteTempThenDirect:
        return "DeleteTempThenDirect";
    case TReplyState::StoreTime:
        return "StoreTime";
    case TReplyState::FileTime:
        return "FileTime";
    case TReplyState::ChangeDirectory:
        return "ChangeDirectory";
    case TReplyState::MakeDirectory:
        return "MakeDirectory";
    case TReplyState::Quit:
        return "Quit";
    case TReplyState::EndQuit:
        return "EndQuit";
    case TReplyState::Idle:
        return "Idle";
    }
    return "?";
}

TSocketFailure MapSocketError(std::uint16_t error) {
    switch (error) {
    case WSANOTINITIALISED:
        return {ftpeWinsockNotInitialized, "Winsock not initialized"};
    case WSAENETDOWN:
        return {ftpeNetworkDown, "Network down"};
    case WSAEACCES:
        return {ftpeInvalidAddress, "Invalid address specified"};
    case WSAEINTR:
    case WSAEFAULT:
    case WSAEINVAL:
    case WSAEINPROGRESS:
    case WSAENOTSOCK:
    case WSAEMSGSIZE:
    case WSAEOPNOTSUPP:
    case WSAEAFNOSUPPORT:
    case WSAEADDRINUSE:
    case WSAEISCONN:
    case WSAENOTCONN:
    case WSAESHUTDOWN:
        return {ftpeInternal, "Unexpected internal error in component"};
    case WSAENETRESET:
    case WSAENOBUFS:
        return {ftpeGeneralWinsock, "General Winsock Error"};
    case WSAECONNABORTED:
        return {ftpeConnectionAborted, "Connection aborted due to timeout or other failure"};
    case WSAECONNRESET:
        return {ftpeConnectionReset, "Connection reset by remote side"};
    case WSAETIMEDOUT:
        return {ftpeTimeOut, "timeout"};
    case WSAEMFILE:
        return {ftpeOutOfSockets, "Out of sockets"};
    case WSAENETUNREACH:
        return {ftpeNetworkUnreachable, "Network unreachable"};
    case WSAEADDRNOTAVAIL:
        return {ftpeAddressNotAvailable, "Address not available"};
    case WSAECONNREFUSED:
        return {ftpeConnectionRefused, "Connection Refused"};
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
    case WSANO_DATA:
        return {ftpeAddressResolution, "Address resolution error"};
    case WSAEHOSTUNREACH:
        return {ftpeHostUnreachable, "Host Unreachable"};
    default:
        return {ftpeUnknown, "Unknown Error"};
    }
}
