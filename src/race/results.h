// The settlement at the end of a race: the final standings with the cutting
// charges applied, the results file "@results.txt", and the best lap.
#pragma once

#include <string>
#include <vector>

// One rider of the final standings.
struct standing_entry {
    int slot = 0;
    int positions = 0;     // positions passed, less the laps a cut cost
    int final_tic = 0;     // tic of the last passed position plus the charge
    int charge_tics = 0;   // the cutting charge added to final_tic
    int laps_taken = 0;    // laps the charge took off the count
    bool finished = false;
};
// Leader first; taken once when the race is over, empty before.
const std::vector<standing_entry>& final_standings();

// Settles the race when it is over (every rider of the running order has
// finished or no longer counts): builds the final standings, writes the
// results when the winner has finished, marks the results written and
// credits the entered series event. The last step of update_running_order.
void settle_race_if_over();

// The fastest lap from lap 2 on (ties keep the earlier lap), 0 when fewer
// than two laps are complete or none has a time.
int best_lap(int slot);

// The text of "@results.txt" for the final standings, dated `date`
// (seconds since 1970); lines end in CR LF.
std::string results_text(long date);
// Writes "@results.txt"; a file that cannot be created is skipped.
void write_results();

// Forgets the standings (a reset).
void clear_final_standings();
