#pragma once

#include "document/JournalReader.h"

#include <QString>
#include <memory>
#include <vector>

class QLockFile;

// The journals that planners left behind in the recovery folder, and what becomes of them once
// the user has answered for them.
namespace RecoveryFolder {

// The recovery folder under the per-user application data folder.
QString Path(const QString& dataFolder);
// Where declined journals are kept for the book tool to read.
QString DeclinedPath(const QString& recoveryFolder);
constexpr int kDeclinedKept = 10;
// Where damaged journals are set aside, all of them: what the reader passed over may still be
// worth a look.
QString DamagedPath(const QString& recoveryFolder);

struct Offer {
    QString path;
    JournalReader::Contents contents;
    // Held until the journal has been applied or declined, so no other planner offers it too.
    std::shared_ptr<QLockFile> lock;
};

// Every journal that no running planner holds and that holds at least one day, oldest first.
// Whole journals that hold no day are removed, damaged ones set aside; files that are no
// journal are left alone.
std::vector<Offer> Offers(const QString& recoveryFolder);
// Moves the journal into the declined folder, where only the last ten are kept; a damaged one
// is set aside instead.
bool Decline(Offer& offer);
// Removes the journal once its days are in the book again; a damaged one is set aside instead.
void Remove(Offer& offer);
// Moves the journal into the damaged folder, where nothing is ever removed.
bool SetAside(Offer& offer);

} // namespace RecoveryFolder
