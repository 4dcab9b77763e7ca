#include "app/outcome.h"

#include "platform/dirsearch.h"

QString OneLine(QString text) {
    return text.replace("\r\n", ": ");
}

std::string FailureLines(const std::vector<TFileOutcome>& outcomes) {
    std::string lines;
    for (const TFileOutcome& o : outcomes) {
        if (o.Result != TFileResult::Failed) continue;
        lines += "wendup: " + o.Path + ": " + OneLine(o.Reason).toStdString() + "\n";
    }
    return lines;
}

QString FailureMessage(const std::vector<TFileOutcome>& outcomes) {
    QString message = "次のファイルは転送されませんでした。";
    for (const TFileOutcome& o : outcomes)
        if (o.Result == TFileResult::Failed)
            message += "\r\n" + QString::fromStdString(std::string(NamePart(o.Path))) + ": " +
                       OneLine(o.Reason);
    return message;
}

QString EndMessage(const QString& error, const std::vector<TFileOutcome>& outcomes) {
    QString message = error;
    for (const TFileOutcome& o : outcomes) {
        if (o.Result != TFileResult::Failed) continue;
        if (!message.isEmpty()) message += "\r\n\r\n";
        return message + FailureMessage(outcomes);
    }
    return message;
}

TRunCounts CountOutcomes(const std::vector<TFileOutcome>& outcomes) {
    TRunCounts counts;
    for (const TFileOutcome& o : outcomes) {
        switch (o.Result) {
        case TFileResult::Stored:
        case TFileResult::Renamed:
            ++counts.Stored;
            break;
        case TFileResult::SkippedByPolicy:
        case TFileResult::SkippedByUser:
            ++counts.Skipped;
            break;
        case TFileResult::Failed:
            ++counts.Failed;
            break;
        }
    }
    return counts;
}

QString CountsText(const TRunCounts& counts) {
    return QString("転送 %1、スキップ %2、失敗 %3")
        .arg(counts.Stored)
        .arg(counts.Skipped)
        .arg(counts.Failed);
}
