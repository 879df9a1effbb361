// Every web and mail address the program names, in one place.
#pragma once

// The program's own web site (with a trailing slash): the version file and
// the result sizes live below it, it is the referrer of every download, the
// About box links to it and the parameter frame's forum markup signs with it.
inline constexpr const char* kSiteURL = "http://brenix.zembrik.net/";
inline constexpr const char* kAboutMail = "brenix@zembrik.net";

// The community team: its site (settings page, About box) and its forum.
inline constexpr const char* kCommunityURL = "http://folding.zembrik.net/";
inline constexpr const char* kTeamForumURL = "http://folding.zembrik.net/forum/";

// The statistics server: its host (project and user links of the list), its
// script (team and user pages by query) and the servers' status page; the
// project summary page is the default of upURL.
inline constexpr const char* kStatsHost = "http://fah-web.stanford.edu";
inline constexpr const char* kStatServerURL = "http://fah-web.stanford.edu/cgi-bin/main.py";
inline constexpr const char* kServerStatURL = "http://fah-web.stanford.edu/serverstat.html";
inline constexpr const char* kDefaultSummaryURL = "http://fah-web.stanford.edu/psummaryC.html";

// An outside statistics site (team pages), the project's support forum and
// the forum topic the points-per-day column links to.
inline constexpr const char* kTeamStatsSiteURL = "http://folding.extremeoverclocking.com/";
inline constexpr const char* kOfficialForumURL = "http://foldingforum.org/";
inline constexpr const char* kfvForumTopicUrl = "http://foldingforum.org/viewtopic.php?t=124748&view=newest";

// Older names of the program's site used by the frames and the About box.
inline constexpr const char* kBrenixSiteRoot = kSiteURL;
inline constexpr const char* kProgramURL = kSiteURL;
inline constexpr const char* kTeamSiteURL = kCommunityURL;
