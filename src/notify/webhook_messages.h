#pragma once
// The bodies the webhooks are sent, built from the monitor's events. Every
// text is UTF-8 (the events' code page 932 texts converted; invalid bytes
// replaced).
//
// Discord: a message as user "Kovun" with allowed_mentions {"parse": []}, so
// that nothing a status text says can ping anyone, and one embed.
// JSON: the watch stream's alert objects, as they were serialised, in an
// array; a batch that follows dropped alerts ends with
// {"event":"dropped","count":N}.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "monitor/events.h"

namespace tol {

using AlertBatch = std::vector<std::shared_ptr<const AlertEvent>>;

// Embed colours (0xRRGGBB) by state.
int32_t DiscordColor(ServerState state);
// The worst of the alerts' new states: unreachable, down, flapping, slow, up.
ServerState WorstNewState(const AlertBatch& alerts);

// One poll's alerts: the world as the title, a line per alert text, the time
// of the last alert, coloured by the worst new state; `dropped` alerts that
// never went out are counted in a last line.
std::string DiscordAlertBody(const AlertBatch& alerts, int dropped);
std::string JsonAlertBody(const AlertBatch& alerts, int dropped);

// The status message: the world, the 19 servers in the strip's order with a
// coloured mark and the caption (the patch, login and character servers on
// one line, the map servers five to a line), the average, and the time of
// the status; coloured by the worst state shown.
std::string DiscordStatusBody(const PollEvent& poll);

// What a test of the webhook sends.
std::string DiscordTestBody();
std::string JsonTestBody();

}  // namespace tol
