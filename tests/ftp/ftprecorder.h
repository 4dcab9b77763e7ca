#pragma once
// Records what a TStarFtp reports, in order, as short texts that a test compares with a list:
//   "info <name> <addinfo>"   every notice except ftpiReceived (how the server's text is split
//                             into reads is not ours to choose; those go to `received`)
//   "sent <line>"             ftpiSent, the line with its line end
//   "error <name> <addinfo>", "need <code>", "ready", "quit", and the completion events by name.
// `phases` holds the transfer phases seen at those events, each change once, by name.

#include "ftp/ftp.h"

#include <string>
#include <vector>

struct FtpRecorder {
    explicit FtpRecorder(TStarFtp& ftp) {
        ftp.OnFtpInfo = [this](TStarFtp& f, FtpInfo info, const std::string& addinfo) {
            NotePhase(f);
            if (info == ftpiReceived) {
                received.push_back(addinfo);
            } else if (info == ftpiSent) {
                events.push_back("sent " + addinfo);
            } else {
                events.push_back(std::string("info ") + FtpInfoName(info) + " " + addinfo);
            }
        };
        ftp.OnFtpError = [this](TStarFtp& f, FtpError error, const std::string& addinfo) {
            NotePhase(f);
            events.push_back(std::string("error ") + FtpErrorName(error) + " " + addinfo);
        };
        ftp.OnFtpNeedInfo = [this](TStarFtp&, TFtpInfoNeeded need, std::string& value) {
            events.push_back("need " + std::to_string(need));
            if (need < answers.size()) value = answers[need];
        };
        const auto note = [this](const char* name) {
            return [this, name](TStarFtp& f) {
                NotePhase(f);
                events.push_back(name);
                if (std::string(name) == "quit") ++quits;
                if (std::string(name) == "ready") ++readies;
            };
        };
        ftp.OnFtpReady = note("ready");
        ftp.OnFtpQuit = note("quit");
        ftp.OnLoggedIn = note("loggedin");
        ftp.OnDirectoryChanged = note("dirchanged");
        ftp.OnFileStored = note("stored");
        ftp.OnListingDone = note("listed");
    }

    void NotePhase(const TStarFtp& ftp) {
        const std::string name = TransferPhaseName(ftp.Phase());
        if (phases.empty() || phases.back() != name) phases.push_back(name);
    }

    std::string Last() const { return events.empty() ? std::string() : events.back(); }
    bool Saw(const std::string& event) const {
        for (const std::string& e : events)
            if (e == event) return true;
        return false;
    }

    // Values handed out by OnFtpNeedInfo, by TFtpInfoNeeded.
    std::vector<std::string> answers = {"", "", "", ""};
    std::vector<std::string> events;
    std::vector<std::string> received;
    std::vector<std::string> phases;
    int quits = 0;
    int readies = 0;
};
