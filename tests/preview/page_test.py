#!/usr/bin/env python3
"""The preview page in a real browser.

`herald preview --html` writes a page for the example configuration, for
tests/preview/showcase.json (every way an entry can look), for
tests/preview/calm.json (cooldowns and their digests) and for
tests/preview/discord.json (what is posted to a Discord channel). Headless Chromium
renders each one: a probe script added to a copy of the page reads what the
browser shows (text, computed colour and size of each notification, the
resources it fetched) and the test checks it against the configuration.
A screenshot of each page is saved beside it:

    BUILD/preview-page/example.png, BUILD/preview-page/showcase.png, BUILD/preview-page/calm.png,
    BUILD/preview-page/discord.png

    page_test.py --herald PATH --chromium PATH --source DIR --out DIR
"""

import html
import json
import os
import re
import struct
import subprocess
import sys

import harness
from harness import expect

WIDTH = 1280  # of the browser's window: a desktop's

PROBE = r"""
<script>
(() => {
  const all = (root, selector) => [...root.querySelectorAll(selector)];
  const result = {
    resources: performance.getEntriesByType('resource').map(entry => entry.name),
    text: document.body.innerText,
    players: (document.querySelector('header .players') || {innerText: null}).innerText,
    relay: (document.querySelector('header .discord-relay') || {innerText: null}).innerText,
    html: document.documentElement.outerHTML,
    height: document.documentElement.scrollHeight,
    entries: all(document, 'article.entry').map(article => ({
      entry: article.dataset.entry,
      code: 'code' in article.dataset ? article.dataset.code : null,
      silent: article.classList.contains('silent'),
      seen: article.querySelector('.seen').innerText,
      group: (article.querySelector('.what .group') || {innerText: null}).innerText,
      cooldown: (article.querySelector('.what .cooldown') || {innerText: null}).innerText,
      digest: (article.querySelector('.seen .digest') || {innerText: null}).innerText,
      findings: all(article, '.finding').map(finding => finding.innerText),
      chats: all(article, '.chat').map(chat => chat.innerText),
      relay: (article.querySelector('.seen .relay') || {innerText: null}).innerText,
      posts: all(article, '.post').map(post => {
        const box = post.getBoundingClientRect();
        return {username: post.querySelector('.username').innerText, content: post.querySelector('.content').innerText,
                width: box.width, height: box.height};
      }),
      samples: all(article, '.sample').length,
      notifications: all(article, '.notification').map(note => {
        const style = getComputedStyle(note), box = note.getBoundingClientRect();
        return {text: note.innerText, color: style.color, size: parseFloat(style.fontSize),
                width: box.width, height: box.height};
      }),
    })),
  };
  const out = document.createElement('pre');
  out.id = 'probe';
  out.textContent = JSON.stringify(result);
  document.body.appendChild(out);
})();
</script>
"""

def chromium(arguments, browser, profile):
    command = [browser, "--headless", "--disable-gpu", "--hide-scrollbars", "--no-first-run",
               "--user-data-dir=" + profile, "--allow-file-access-from-files"]
    if os.geteuid() == 0:
        command.append("--no-sandbox")  # Chromium refuses to run as root with its sandbox
    result = subprocess.run(command + arguments, capture_output=True, text=True, timeout=180)
    if result.returncode != 0:
        sys.exit("chromium failed (%d): %s" % (result.returncode, result.stderr[-2000:]))
    return result.stdout


def probe(page, browser, profile):
    with open(page, encoding="utf-8") as source:
        text = source.read()
    probed = page[:-len(".html")] + ".probe.html"
    with open(probed, "w", encoding="utf-8") as target:
        target.write(text.replace("</body>", PROBE + "</body>"))
    # Laid out at the screenshot's width, so that the height measured is the screenshot's.
    dom = chromium(["--window-size=%d,800" % WIDTH, "--virtual-time-budget=5000", "--dump-dom", "file://" + probed],
                   browser, profile)
    found = re.search(r'<pre id="probe">(.*?)</pre>', dom, re.S)
    if not found:
        sys.exit("the probe found nothing in " + probed)
    return json.loads(html.unescape(found.group(1)))


def screenshot(page, height, browser, profile):
    picture = page[:-len(".html")] + ".png"
    if os.path.exists(picture):
        os.remove(picture)
    chromium(["--window-size=%d,%d" % (WIDTH, min(max(height, 600), 12000)), "--screenshot=" + picture,
              "file://" + page], browser, profile)
    with open(picture, "rb") as image:
        header = image.read(24)
    expect(header[:8] == b"\x89PNG\r\n\x1a\n", picture + " is a PNG")
    width, tall = struct.unpack(">II", header[16:24])
    expect((width, tall) == (WIDTH, min(max(height, 600), 12000)), "%s shows the whole page" % picture)
    print("screenshot: " + picture)


def preview(herald, config, page, status):
    result = subprocess.run([herald, "preview", config, "--html", page], capture_output=True, text=True)
    expect(result.returncode == status, "herald preview %s exits %d, not %d: %s" %
           (config, status, result.returncode, result.stderr))
    expect(os.path.getsize(page) > 0, page + " is written")


def rgb(text):
    return "rgb(%s)" % ", ".join(part.strip() for part in text.split(","))


def entries_by_name(shown):
    return {(entry["entry"] if entry["code"] is None else entry["code"]): entry for entry in shown["entries"]}


# The group of each entry of the example: none writes a Group, so each is its kind's.
EXAMPLE_GROUPS = {
    "crates": ["SupplyCrate_Level03_C", "SupplyCrate_Level15_C", "SupplyCrate_Level35_C", "SupplyCrate_Level60_C"],
    "nodes": ["ElementNode_C"], "artifacts": ["ArtifactCrate_Hunter_C", "ArtifactCrate_Clever_C"],
    "nests": ["Wyvern_Character_BP_Fire_C", "RockDrake_Character_BP_C"], "dams": ["BeaverDam_C"],
    "ocean": ["SupplyCreate_OceanInstant_High_C"], "asteroids": ["Metal", "Crystal", "Element", "Obsidian"],
}


def check_groups(shown, groups):
    """Each article names its entry's group, as a person reads it beside the key."""
    entries = entries_by_name(shown)
    for group, names in groups.items():
        for name in names:
            entry = entries.get(name if name in entries else "/Items/" + name)
            expect(entry is not None and entry["group"] == "group " + group,
                   "%s shows its group %s: %r" % (name, group, entry and entry["group"]))


def check_example(shown, config):
    """Every entry of the example is announced as it is configured."""
    expect(shown["resources"] == [], "the page fetches nothing: %s" % shown["resources"])
    expect("herald check: nothing to report" in shown["text"], "the example checks clean on the page")
    entries = entries_by_name(shown)
    expected = {"/Items/" + key: (item["Notification"], item["Notification"]["Color"])
                for key, item in config["Items"].items()}
    asteroids = config["AsteroidGen2"]
    for code, color in asteroids["Color"].items():
        expected[code] = (asteroids["Notification"], color)
    expect(sorted(entries) == sorted(expected), "one article per entry: %s" % sorted(entries))
    for name, (notification, color) in expected.items():
        entry = entries.get(name)
        if entry is None:
            continue
        expect(not entry["silent"] and len(entry["notifications"]) == 1, name + " shows one notification")
        if not entry["notifications"]:
            continue
        note = entry["notifications"][0]
        expect(note["color"] == rgb(color), "%s is drawn in %s, not %s" % (name, rgb(color), note["color"]))
        expect(abs(note["size"] - 20 * notification["Size"]) < 0.05,
               "%s is drawn at size %s (%.1f px)" % (name, notification["Size"], note["size"]))
        expect("{" not in note["text"] and note["height"] > 0, "%s shows its text filled: %r" % (name, note["text"]))
        expect(("shown %d s" % notification["Time"]) in entry["seen"], name + " shows its display time")
        if name.startswith("/Items/"):
            expect("50.0 / 50.0" in note["text"], name + " is at 50.0 / 50.0")
    expect(entries["/Items/Wyvern_Character_BP_Fire_C"]["notifications"][0]["text"]
           == "Fire wyvern nest with a level 150 egg at 50.0 / 50.0", "a creature's nest shows the sample egg level")
    expect(entries["Obsidian"]["notifications"][0]["text"] == "Obsidian asteroid drifting over Gen2: obsidian and oil",
           "an asteroid code is announced with its own names")
    check_groups(shown, EXAMPLE_GROUPS)
    # Asteroids are announced on Gen2 alone and ocean crates on Ragnarok, so the command offers neither on TheIsland.
    expect(shown["players"] == "Players turn groups of announcements off and on for themselves with the chat command "
           "/herald: /herald off GROUP, /herald on GROUP, all for every group. On TheIsland a player can turn off: "
           "artifacts, crates, dams, nests, nodes.", "the header names the chat command and the groups it "
           "offers: %r" % shown["players"])


def check_showcase(shown):
    """Chat lines, Random, silent entries with their reasons, findings beside their entry."""
    expect(shown["resources"] == [], "the page fetches nothing: %s" % shown["resources"])
    expect("herald check: 1 error, " in shown["text"], "the check's summary is on the page")
    entries = entries_by_name(shown)
    silent = sorted(name for name, entry in entries.items() if entry["silent"])
    expect(silent == ["/Items/ArtifactCrate_Clever_C", "/Items/ArtifactCrate_Hunter_C",
                      "/Items/SupplyCrate_Level03_C_12"], "the entries that send nothing: %s" % silent)
    for name in silent:
        expect(entries[name]["seen"].startswith("Sends nothing"), name + " says it sends nothing")
        expect(entries[name]["findings"] != [], name + " has its reason beside it")
    expect(any("empty Msg: nothing is sent" in finding
               for finding in entries["/Items/ArtifactCrate_Hunter_C"]["findings"]), "an empty Msg is the reason")
    expect("type must be number, but is string" in entries["/Items/ArtifactCrate_Clever_C"]["seen"],
           "the plugin's log line is shown where nothing was sent")
    expect(entries["/Items/ElementNode_C"]["chats"] == ["Herald: Element node surfaced at 50.0 / 50.0"],
           "a chat line shows its sender: %s" % entries["/Items/ElementNode_C"]["chats"])
    for name in ("/Items/SupplyCrate_Level60_C", "Element"):
        expect(entries[name]["samples"] >= 3, name + " (Random) shows sample colours")
    expect(entries["/Items/SupplyCrate_Level35_C"]["samples"] == 0, "a fixed colour shows no samples")
    expect(entries["/Items/BeaverDam_C"]["notifications"][0]["color"] == "rgb(80, 0, 120)",
           "a dark colour keeps its colour")
    expect("unknown key \"EnableNest\"" in shown["text"], "findings about no entry are on the page")
    check_groups(shown, {"big-crates": ["SupplyCrate_Level35_C"], "Big-Crates": ["SupplyCrate_Level60_C"],
                         "nodes": ["ElementNode_C"],
                         "asteroids": ["Metal", "Element"]})
    expect(shown["players"] == "Players can't choose what they hear: Players/Enable is false, so every player "
           "receives every announcement.", "the header says players can't choose: %r" % shown["players"])


def check_calm(shown):
    """A cooling entry shows its cooldown, and its digest below its announcement, drawn as it is."""
    expect(shown["resources"] == [], "the page fetches nothing: %s" % shown["resources"])
    entries = entries_by_name(shown)
    crate, node, dam = (entries["/Items/" + key] for key in ("SupplyCrate_Level35_C", "ElementNode_C", "BeaverDam_C"))
    expect(crate["cooldown"] == "cooldown 120 s", "Calm's cooldown is the crate's: %r" % crate["cooldown"])
    expect(node["cooldown"] == "cooldown 30 s", "the node's own cooldown: %r" % node["cooldown"])
    expect(dam["cooldown"] is None and dam["digest"] is None, "Cooldown 0: neither cooldown nor digest shown")
    expect(crate["digest"] == "Its cooldown ends with 3 spawns held: the digest", "the digest's heading: %r"
           % crate["digest"])
    texts = [note["text"] for note in crate["notifications"]]
    expect(texts == ["Purple crate dropped at 50.0 / 50.0",
                     "3 more Purple crate since the last one, the latest at 50.0 / 50.0"],
           "the announcement, then its digest: %s" % texts)
    if len(crate["notifications"]) == 2:
        announced, digest = crate["notifications"]
        expect(digest["color"] == announced["color"] == "rgb(160, 32, 240)" and digest["size"] == announced["size"],
               "the digest is drawn as the announcement is: %s" % digest)
    expect(node["chats"] == ["Herald: Element node surfaced",
                             "Herald: 3 more Element node since the last one, the latest at 50.0 / 50.0"],
           "a chat line's digest is a chat line from the same sender: %s" % node["chats"])
    expect(len(dam["notifications"]) == 1, "an entry without a cooldown shows its announcement alone")


# The webhook's token in tests/preview/discord.json: a secret the page never shows.
DISCORD_TOKEN = "PageSecretToken0xD15C0"


def check_discord(shown):
    """Each relayed entry shows its post under its announcement, as posted; the address shows by its host alone."""
    expect(shown["resources"] == [], "the page fetches nothing: %s" % shown["resources"])
    expect(DISCORD_TOKEN not in shown["html"] and DISCORD_TOKEN not in shown["text"],
           "the webhook's token is nowhere on the page")
    expect(shown["relay"] == "Announcements and digests are posted to Discord through the webhook at discord.example…, "
           "of the groups crates, nodes, as each shows below.", "the header says where posts go: %r" % shown["relay"])
    entries = entries_by_name(shown)
    crate, node, dam = (entries["/Items/" + key] for key in ("SupplyCrate_Level35_C", "ElementNode_C", "BeaverDam_C"))
    posts = [(post["username"], post["content"]) for post in crate["posts"]]
    expect(posts == [("Herald of TheIsland", "Purple crate \\(level 35\\) dropped at 50.0 / 50.0"),
                     ("Herald of TheIsland", "3 more Purple crate since the last one, the latest at 50.0 / 50.0")],
           "the crate's post and its digest's, as posted: %s" % posts)
    expect(all(post["width"] > 0 and post["height"] > 0 for post in crate["posts"]), "each post is drawn")
    expect(crate["relay"] == "Posted to Discord", "the crate says it is posted: %r" % crate["relay"])
    expect([(post["username"], post["content"]) for post in node["posts"]]
           == [("Herald of TheIsland", "\\*\\*Element\\_node\\*\\* surfaced")],
           "a chat line's post, its Markdown escaped: %s" % node["posts"])
    expect(dam["posts"] == [] and dam["relay"] == "Not relayed to Discord: its group dams is not in Discord → Groups",
           "an entry of a group not relayed says so: %r" % dam["relay"])
    expect(len(dam["notifications"]) == 1, "players still see what is not relayed")


def main():
    arguments, browser, out = harness.arguments()
    profile = os.path.join(out, "chromium-profile")

    example_config = os.path.join(arguments.source, "examples", "config.json")
    pages = [("example", example_config, 0), ("showcase", os.path.join(arguments.source, "tests", "preview",
                                                                        "showcase.json"), 2),
             ("calm", os.path.join(arguments.source, "tests", "preview", "calm.json"), 0),
             ("discord", os.path.join(arguments.source, "tests", "preview", "discord.json"), 0)]
    for name, config, status in pages:
        page = os.path.join(out, name + ".html")
        preview(arguments.herald, config, page, status)
        shown = probe(page, browser, profile)
        if name == "example":
            with open(config, encoding="utf-8") as source:
                check_example(shown, json.load(source))
        elif name == "calm":
            check_calm(shown)
        elif name == "discord":
            check_discord(shown)
        else:
            check_showcase(shown)
        screenshot(page, shown["height"], browser, profile)

    harness.finish("the preview pages show what they should")


if __name__ == "__main__":
    main()
