#pragma once
// The preview page's style sheet: a dark plate like the game's HUD, each
// entry's announcement beside its findings.

#include <string_view>

namespace Herald {

inline constexpr std::string_view PreviewPageStyle = R"(
:root { color-scheme: dark; }
* { box-sizing: border-box; }
body { margin: 0; min-height: 100vh; color: #d5dde8; background: #0a0e14;
  background-image: radial-gradient(ellipse 120% 60% at 50% 0%, #172233 0%, #0a0e14 70%);
  font: 15px/1.45 "Segoe UI", "Noto Sans", "DejaVu Sans", Roboto, Helvetica, Arial, sans-serif; }
header { padding: 26px 40px 18px; border-bottom: 1px solid #1f2b3d; }
.brand { text-transform: uppercase; letter-spacing: .2em; font-size: 12px; color: #6f9fd8; font-weight: 600; }
h1 { margin: 4px 0 6px; font-size: 26px; font-weight: 600; color: #f3f6fa; word-break: break-all; }
.summary { margin: 0 0 12px; color: #8d9bb0; }
.summary b { color: #c9d6e6; font-weight: 600; }
.check { display: inline-block; margin: 0 10px 0 0; padding: 3px 12px; border-radius: 4px; font-weight: 600; }
.check.clean { background: #0f3a27; color: #5fe3a1; }
.check.warnings { background: #3b3010; color: #f6c453; }
.check.errors { background: #431519; color: #ff7d7d; }
.counts { display: inline-block; margin: 0; color: #8d9bb0; }
.players { margin: 10px 0 0; font-size: 13px; color: #8d9bb0; }
.players code, .players b { color: #c9d6e6; }
.discord-relay { margin: 10px 0 0; font-size: 13px; color: #8d9bb0; }
.discord-relay b { color: #c9d6e6; }
.live-test { margin: 10px 0 0; font-size: 13px; color: #8d9bb0; }
.live-test code { color: #c9d6e6; }
main { padding: 4px 40px 36px; }
.banner { margin: 18px 0 0; padding: 10px 14px; border-radius: 6px; background: #431519; color: #ffb3b3; font-weight: 600; }
h2 { margin: 28px 0 10px; padding-bottom: 6px; border-bottom: 1px solid #1f2b3d; color: #8fb6e6;
  font-size: 13px; letter-spacing: .16em; text-transform: uppercase; }
h2 .hint { margin-left: 10px; color: #5d6c82; font-weight: 400; letter-spacing: 0; text-transform: none; }
.entry { display: grid; grid-template-columns: minmax(190px, 1fr) minmax(300px, 2.3fr) minmax(240px, 1.5fr);
  gap: 20px; align-items: start; margin: 8px 0; padding: 14px 16px; border: 1px solid #1e2a3c;
  border-left: 3px solid #3f8fdc; border-radius: 6px; background: rgba(17, 25, 37, .78); }
.entry.silent { border-left-color: #5b6575; background: rgba(17, 21, 28, .7); }
.entry.shared { border-left-color: #8a6bd8; }
.key { color: #eef3f9; font: 600 14px/1.35 "DejaVu Sans Mono", Consolas, Menlo, monospace; word-break: break-all; }
.group { margin-top: 3px; color: #8d9bb0; font-size: 12.5px; }
.group b { color: #9fd0a8; font-weight: 600; }
.spawn { margin-top: 4px; color: #718099; font-size: 12.5px; word-break: break-word; }
.notification { font-weight: 700; line-height: 1.25; word-break: break-word;
  text-shadow: 0 0 2px #000, 0 0 3px #000, 1px 1px 2px #000; }
.notification.dark { display: inline-block; padding: 1px 10px 2px; border-radius: 4px; text-shadow: none;
  background: linear-gradient(#dfe6ef, #c5cfdc); box-shadow: 0 0 0 1px rgba(255, 255, 255, .25); }
.meta { display: flex; flex-wrap: wrap; gap: 4px 14px; margin: 6px 0 10px; color: #7f8da3; font-size: 12px; }
.random { display: flex; flex-wrap: wrap; gap: 2px 14px; margin: -4px 0 10px; color: #7f8da3; font-size: 12px; }
.random > span:first-child { flex-basis: 100%; }
.sample { font-weight: 700; text-shadow: 0 0 2px #000, 1px 1px 1px #000; }
.chat { padding: 6px 10px; border-radius: 4px; background: rgba(0, 0, 0, .5); color: #f2f2f2; word-break: break-word; }
.chat .sender { color: #93cdfc; font-weight: 700; }
.discord { margin: 4px 0 0; }
.post { padding: 6px 10px; border-radius: 4px; background: #313338; color: #dbdee1; word-break: break-word;
  font-family: "gg sans", "Noto Sans", "DejaVu Sans", Helvetica, Arial, sans-serif; }
.post .username { color: #f2f3f5; font-weight: 600; font-size: 14px; }
.post .content { white-space: pre-wrap; }
.log { margin: 4px 0; color: #ff9b9b; font: 12.5px/1.4 "DejaVu Sans Mono", Consolas, monospace; word-break: break-word; }
.nothing { color: #a3adba; font-size: 17px; font-style: italic; font-weight: 600; }
.reason { margin-top: 3px; color: #8b97a8; font-size: 12.5px; }
.findings { margin: 0; padding: 0; list-style: none; }
.finding { margin: 0 0 6px; padding: 5px 9px; border-left: 3px solid; border-radius: 4px;
  background: rgba(255, 255, 255, .035); font-size: 12.5px; word-break: break-word; }
.finding.warning { border-color: #f6c453; }
.finding.error { border-color: #ff6b6b; }
.severity { margin-right: 7px; font-size: 10.5px; font-weight: 700; letter-spacing: .08em; text-transform: uppercase; }
.warning .severity { color: #f6c453; }
.error .severity { color: #ff7d7d; }
code { margin-right: 4px; color: #aebfd6; font-family: "DejaVu Sans Mono", Consolas, Menlo, monospace; }
.no-findings { margin: 0; color: #4a586c; font-size: 12.5px; }
footer { padding: 0 40px 28px; color: #4f5d72; font-size: 12px; }
@media (max-width: 960px) { .entry { grid-template-columns: 1fr; gap: 10px; } header, main, footer { padding-left: 16px; padding-right: 16px; } }
)";

}  // namespace Herald
