#pragma once
// Types shared by the FTP component, its listing parser and the program that drives them.

// How a file is stored, and which code the control connection's text is in (unless the name code
// says otherwise).
enum TTransferType { BinaryTransfer, AsciiTransfer, textJIS, textSJIS, textEUC, textUTF8 };

// The code of the names on the control connection, and of every reply and listing line.
enum TNameCode {
    ncAuto,         // UTF-8 when the server lists UTF8 in its features; else as ncTransferMode
    ncUtf8,         // UTF-8 whatever the server says
    ncSjis,         // Shift_JIS, the system's own code, unconverted
    ncTransferMode, // the code of the file's transfer mode
};

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
