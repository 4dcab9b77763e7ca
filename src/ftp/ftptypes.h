#pragma once
// Types shared by the FTP component, its listing parser and the program that drives them.

// How a file is stored, and which code the control connection's text is in.
enum TTransferType { BinaryTransfer, AsciiTransfer, textJIS, textSJIS, textEUC };

// The server's kind, found from its SYST reply at login; it chooses how listing lines are read.
enum TFTPServerType {
    ftpstDefault,
    ftpstAutoDetect,
    ftpstUNIX,
    ftpstULTRIX,
    ftpstU5000,
    ftpstSINTFTPD,
    ftpstVmsMultinet,
    ftpstVmsUcx,
    ftpstMVS,
    ftpstMacFtpd,
    ftpstClix,
    ftpstQVT,
    ftpstNCSA,
    ftpstChameleon,
    ftpstVM,
    ftpstVMVPS,
};
