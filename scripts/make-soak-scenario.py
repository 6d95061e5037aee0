#!/usr/bin/env python3
"""The soak scenario for herald, and the check of what herald made of it.

  make-soak-scenario.py generate SCENARIO.json EXPECTED.json [--spawns N] [--players N] [--reload-every N]
  make-soak-scenario.py check EXPECTED.json --pid PID [--samples MEMORY.tsv] < herald-json-transcript

generate writes a scenario of N spawns of every kind, across the maps where
each kind is special, with players joining and leaving all along and a reload
every --reload-every spawns, alternately of a broken file and of a good one
(two good files take turns, so a stale setting would show). Beside it goes
what the plugin must deliver: how often each announcement text must arrive,
how many deliveries each player must get, a checksum over every (player,
text) delivery, and every reply. The account stays small however long the
scenario is: a few figures per distinct text and per player.

check reads herald's JSON transcript from standard input while herald (PID)
runs, samples herald's resident memory meanwhile (and its peak, VmHWM),
compares the transcript with that account, and prints a summary with the
memory figures; it fails when anything differs, when memory grew after the
first tenth of the play, or when the peak exceeds --peak-limit-mib.
"""

import argparse
import collections
import json
import sys
import threading
import time
import zlib

GRID = 8000  # with the default world settings one grid step is one degree exactly


def good_config(variant):
    """A good config.json; its texts carry the variant so the one in force shows."""

    def note(msg, **extra):
        return dict({"Msg": variant + ": " + msg}, **extra)

    return {
        "EnableNests": True,
        "Items": {
            "SupplyCrate_Level03_C": {"Name": "White crate", "Notification": note("{Name} at {Lat} / {Lon} on {MapName}", Color="255,255,255")},
            "SupplyCrate_Level35_C": {"Name": "Purple crate", "Notification": note("{Name} at {Lat} / {Lon}", Color="Random", Time=12, Size=1.4)},
            "ElementNode_C": {"Name": "Element node", "Notification": note("{Name} at {Lat} / {Lon}", Type="Chat", Sender="Herald")},
            "ArtifactCrate_Hunter_C": {"Notification": note("{Name} at {Lat} / {Lon}", Color="255,215,0")},
            "BeaverDam_C": {"Name": "Beaver dam", "Notification": note("{Name} at {Lat} / {Lon}", Color="139,69,19")},
            "Wyvern_Character_BP_Fire_C": {"Name": "Fire wyvern nest", "Notification": note("{Name} level {EggLvl} at {Lat} / {Lon}")},
            "SupplyCreate_OceanInstant_High_C": {"Name": "Ocean crate", "Notification": note("{Name} at {Lat} / {Lon}", Color="0,128,255")},
        },
        "AsteroidGen2": {
            "Enable": True,
            "Color": {"Metal": "192,192,192", "Crystal": "Random"},
            "Name": {"Metal": "Metal asteroid", "Crystal": "Crystal asteroid"},
            "PrimaryResources": {"Metal": "Metal", "Crystal": "Crystal"},
            "SecondaryResources": {"Metal": "Stone"},
            "Notification": {"Msg": variant + ": {Name} ({PrimaryResources}/{SecondaryResources}) on {MapName}"},
        },
    }


BROKEN_TEXTS = [
    '{"EnableNests": true, "Items": {',
    '{"Items": {"SupplyCrate_Level03_C": {"Name": "x" // a comment\n}}}',
    "",
    '{"Items": [1, 2,',
]

MAPS = ["TheIsland", "Gen2", "Ragnarok", "ScorchedEarth_P"]


def coordinate(step):
    return "%d.0" % (50 + step)


def delivery_crc(kind, player, text):
    """One delivery's share of the checksum: a recipient or a text astray changes the sum."""
    return zlib.crc32(text.encode(), zlib.crc32(("%s\0%s\0" % (kind, player)).encode()))


class Account:
    """What was delivered, or must be: per text, per player, and a checksum of every pair."""

    def __init__(self):
        self.texts = collections.Counter()  # (type, text) -> deliveries to anyone
        self.players = collections.Counter()  # (type, player) -> deliveries of anything
        self.checksum = 0

    def add(self, kind, player, text):
        self.texts[(kind, text)] += 1
        self.players[(kind, player)] += 1
        self.checksum = (self.checksum + delivery_crc(kind, player, text)) % (1 << 64)

    def deliveries(self):
        return sum(self.texts.values())

    def to_json(self):
        return {"texts": [[k, t, n] for (k, t), n in sorted(self.texts.items())],
                "players": [[k, p, n] for (k, p), n in sorted(self.players.items())],
                "checksum": self.checksum}

    @staticmethod
    def from_json(data):
        account = Account()
        account.texts = collections.Counter({(k, t): n for k, t, n in data["texts"]})
        account.players = collections.Counter({(k, p): n for k, p, n in data["players"]})
        account.checksum = data["checksum"]
        return account

    def differences(self, got):
        """What `got` lacks or has too much of, as lines for a person."""
        problems = []
        for name, want, have in (("text", self.texts, got.texts), ("player", self.players, got.players)):
            for (k, x), n in list((want - have).items())[:10]:
                problems.append("missing %d x %s to %s %s" % (n, k, name, x))
            for (k, x), n in list((have - want).items())[:10]:
                problems.append("unexpected %d x %s to %s %s" % (n, k, name, x))
        if not problems and got.checksum != self.checksum:
            problems.append("every text and every player got as many deliveries as accounted, "
                            "but some went to the wrong player (checksums differ)")
        return problems


class Model:
    """What the plugin must do, kept while the scenario is written."""

    def __init__(self):
        self.expected = Account()
        self.rcon = collections.Counter()
        self.logs = 0
        self.last_asteroid = ""
        self.variant = "A"
        self.map = "TheIsland"
        self.connected = []

    def announce(self, kind, text):
        for player in self.connected:
            self.expected.add(kind, player, text)


def spawn_events(index, model):
    """One spawn, chosen by its index; gives the event and records what it must announce."""
    x_step = (index * 7) % 101 - 50
    y_step = (index * 13) % 101 - 50
    location = [x_step * GRID, y_step * GRID, 100]
    lat, lon = coordinate(y_step), coordinate(x_step)
    v = model.variant
    choice = index % 12
    serial = "_C_%d" % index
    if choice == 0:
        model.announce("notification", "%s: White crate at %s / %s on %s" % (v, lat, lon, model.map))
        return {"event": "spawn_structure", "name": "SupplyCrate_Level03" + serial, "class": "container", "location": location}
    if choice == 1:
        model.announce("notification", "%s: Purple crate at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "SupplyCrate_Level35" + serial, "class": "container", "location": location}
    if choice == 2:
        model.announce("chat", "%s: Element node at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "ElementNode" + serial, "class": "container", "location": location}
    if choice == 3:
        model.announce("notification", "%s: ArtifactCrate_Hunter_C at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "ArtifactCrate_Hunter" + serial, "class": "container", "location": location}
    if choice == 4:
        model.announce("notification", "%s: Beaver dam at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "BeaverDam" + serial, "class": "structure", "location": location}
    if choice == 5:
        level = 1 + index % 250
        model.announce("notification", "%s: Fire wyvern nest level %d at %s / %s" % (v, level, lat, lon))
        return {"event": "spawn_structure", "name": "WyvernNest" + serial, "class": "structure", "location": location,
                "instigator": {"name": "Wyvern_Character_BP_Fire" + serial, "class": "dino", "level": level}}
    if choice == 6:
        # A nest nobody laid is looked up under its own key: not configured.
        return {"event": "spawn_structure", "name": "WyvernNest" + serial, "class": "structure", "location": location}
    if choice in (7, 8):
        code = "Metal" if (index // 24) % 3 else "Crystal"
        if model.map == "Gen2" and code != model.last_asteroid:
            model.last_asteroid = code
            if code == "Metal":
                model.announce("notification", "%s: Metal asteroid (Metal/Stone) on Gen2" % v)
            else:
                model.announce("notification", "%s: Crystal asteroid (Crystal/) on Gen2" % v)
        return {"event": "spawn_structure", "name": "SupplyCrate_Space_01_" + code + serial, "class": "container",
                "location": location}
    if choice == 9:
        if model.map == "Ragnarok":
            model.announce("notification", "%s: Ocean crate at %s / %s" % (v, lat, lon))
        return {"event": "spawn_container", "name": "SupplyCreate_OceanInstant_High" + serial, "position": location}
    if choice == 10:
        return {"event": "spawn_structure", "name": "StorageBox_Huge" + serial, "class": "container", "location": location}
    # A structure with a hunted name that is not an item container, and
    # an object that is neither: only the first is announced (nests are on).
    if index % 24 == 11:
        model.announce("notification", "%s: Beaver dam at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "BeaverDam" + serial, "class": "structure", "location": location}
    return {"event": "spawn_structure", "name": "BeaverDam" + serial, "class": "other", "location": location}


def generate(arguments):
    spawns, players, reload_every = arguments.spawns, arguments.players, arguments.reload_every
    concurrent = min(5, players)
    model = Model()
    names = ["Player%03d" % i for i in range(players)]
    model.connected = names[:concurrent]
    joins = players - concurrent
    rotate_every = max(1, spawns // (joins + 1))
    next_player = concurrent
    reloads = 0
    map_every = max(1, spawns // 40)

    with open(arguments.scenario, "w") as out:
        out.write('{"map": "TheIsland", "players": %s, "config": %s, "events": [\n'
                  % (json.dumps([{"name": n} for n in model.connected]), json.dumps(good_config("A"))))
        first = True

        def emit(event):
            nonlocal first
            out.write(("" if first else ",\n") + json.dumps(event, separators=(",", ":")))
            first = False

        for index in range(spawns):
            if index % map_every == 0:
                model.map = MAPS[(index // map_every) % len(MAPS)]
                emit({"event": "init_game", "map": model.map})
            if index and index % rotate_every == 0 and next_player < players:
                emit({"event": "disconnect", "player": model.connected.pop(0)})
                model.connected.append(names[next_player])
                emit({"event": "connect", "player": names[next_player]})
                next_player += 1
            if index and index % reload_every == 0:
                reloads += 1
                request = 1000 + reloads
                if reloads % 2:
                    text = BROKEN_TEXTS[(reloads // 2) % len(BROKEN_TEXTS)]
                    emit({"event": "write_config", "text": text})
                    model.rcon[("error", request)] += 1
                    model.logs += 1
                else:
                    model.variant = "B" if model.variant == "A" else "A"
                    emit({"event": "write_config", "config": good_config(model.variant)})
                    model.rcon[("Reloaded config", request)] += 1
                emit({"event": "rcon", "command": "SkyCrateHerald.Reload", "id": request})
            emit(spawn_events(index, model))
        for name in model.connected:
            emit({"event": "disconnect", "player": name})
        emit({"event": "unload"})
        out.write("\n]}\n")

    expected = {
        "spawns": spawns,
        "players": players,
        "reloads": reloads,
        "deliveries": model.expected.to_json(),
        "rcon": [[t, i, n] for (t, i), n in sorted(model.rcon.items())],
        "logs": model.logs,
    }
    with open(arguments.expected, "w") as out:
        json.dump(expected, out)
    total = model.expected.deliveries()
    print("%s: %d spawns, %d players, %d reloads, %d announcements to deliver"
          % (arguments.scenario, spawns, players, reloads, total))


def resident_kib(pid):
    """Resident memory now and its peak so far (VmRSS, VmHWM), or None once the process is gone."""
    figures = {}
    try:
        with open("/proc/%d/status" % pid) as status:
            for row in status:
                if row.startswith(("VmRSS:", "VmHWM:")):
                    figures[row[:5]] = int(row.split()[1])
    except OSError:
        return None
    return (figures["VmRSS"], figures["VmHWM"]) if len(figures) == 2 else None


def sample_memory(pid, samples, peak, done):
    while not done.is_set():
        figures = resident_kib(pid)
        if figures is None:
            break
        samples.append((time.monotonic(), figures[0]))
        peak[0] = figures[1]
        done.wait(0.25)


def check(arguments):
    samples = []
    peak = [None]
    done = threading.Event()
    sampler = threading.Thread(target=sample_memory, args=(arguments.pid, samples, peak, done), daemon=True)
    sampler.start()
    started = time.monotonic()
    with open(arguments.expected) as source:
        expected = json.load(source)
    want = Account.from_json(expected["deliveries"])
    got = Account()
    rcon = collections.Counter()
    problems = []
    logs = 0
    loads = unloads = 0
    memory = None
    playing_since = None  # herald checks the whole scenario before its first line
    for line in sys.stdin:
        if playing_since is None:
            playing_since = time.monotonic()
        record = json.loads(line)
        kind = record["type"]
        if kind in ("notification", "chat"):
            got.add(kind, record["player"], record["text"])
        elif kind == "rcon_reply":
            text = "Reloaded config" if record["text"] == "Reloaded config" else "error"
            rcon[(text, record["id"])] += 1
        elif kind == "log":
            logs += 1
            if record["level"] != "error" or not record["text"].startswith("[json.exception.parse_error"):
                problems.append("unexpected log line: " + line.strip())
        elif kind == "load":
            loads += 1
            if not record["ok"]:
                problems.append("the plugin refused to load: " + line.strip())
        elif kind == "unload":
            unloads += 1
        elif kind == "memory":
            memory = record
        else:
            problems.append("unexpected record: " + line.strip())

    problems.extend(want.differences(got))
    want_rcon = collections.Counter({(t, i): n for t, i, n in expected["rcon"]})
    if rcon != want_rcon:
        problems.append("RCON replies differ: %d expected, %d received" % (sum(want_rcon.values()), sum(rcon.values())))
    if logs != expected["logs"]:
        problems.append("%d error lines, %d expected" % (logs, expected["logs"]))
    if loads != 1 or unloads != 1:
        problems.append("%d loads and %d unloads, 1 each expected" % (loads, unloads))
    if memory is None or memory["live_blocks"] != 0 or memory["live_bytes"] != 0:
        problems.append("game memory left after unload: %s" % memory)

    done.set()
    sampler.join()
    reading = [kib for t, kib in samples if playing_since is None or t < playing_since]
    samples = [(t - playing_since, kib) for t, kib in samples if playing_since is not None and t >= playing_since]
    if arguments.samples:
        with open(arguments.samples, "w") as out:
            out.write("# seconds since the first transcript line\tresident KiB\n")
            out.writelines("%.2f\t%d\n" % sample for sample in samples)
    summary = {
        "announcements": got.deliveries(),
        "announcements_expected": want.deliveries(),
        "rcon_replies": sum(rcon.values()),
        "error_lines": logs,
        "live_blocks_after_unload": None if memory is None else memory["live_blocks"],
    }
    if reading:
        summary["rss_kib_peak_while_checking_scenario"] = max(reading)
    if samples and playing_since is not None:
        summary["seconds_checking_scenario"] = round(playing_since - started, 1)
    if samples:
        start, end = samples[0][0], samples[-1][0]
        after_tenth = [kib for t, kib in samples if t >= start + (end - start) * 0.1]
        summary.update({
            "seconds_playing": round(end - start, 1),
            "rss_kib_at_start_of_play": samples[0][1],
            "rss_kib_at_10_percent": after_tenth[0],
            "rss_kib_at_end": samples[-1][1],
            "rss_kib_min_after_10_percent": min(after_tenth),
            "rss_kib_max_after_10_percent": max(after_tenth),
            "rss_kib_peak_while_playing": max(kib for _, kib in samples),
        })
        growth = summary["rss_kib_at_end"] - summary["rss_kib_at_10_percent"]
        summary["rss_growth_kib_from_10_percent"] = growth
        # Flat: no more than 1 MiB or 1 % between the first tenth and the end.
        if growth > max(1024, summary["rss_kib_at_10_percent"] // 100):
            problems.append("resident memory grew by %d KiB after the first tenth of the run" % growth)
    if peak[0] is not None:
        summary["rss_kib_peak"] = peak[0]
        if peak[0] > arguments.peak_limit_mib * 1024:
            problems.append("resident memory peaked at %d KiB, above %d MiB" % (peak[0], arguments.peak_limit_mib))
    print(json.dumps(summary, indent=2))
    for problem in problems:
        print("SOAK PROBLEM: " + problem)
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    make = commands.add_parser("generate")
    make.add_argument("scenario")
    make.add_argument("expected")
    make.add_argument("--spawns", type=int, default=1_000_000)
    make.add_argument("--players", type=int, default=100)
    make.add_argument("--reload-every", type=int, default=10_000)
    verify = commands.add_parser("check")
    verify.add_argument("expected")
    verify.add_argument("--pid", type=int, required=True)
    verify.add_argument("--samples")
    verify.add_argument("--peak-limit-mib", type=int, default=250)
    arguments = parser.parse_args()
    if arguments.command == "generate":
        generate(arguments)
        return 0
    return check(arguments)


if __name__ == "__main__":
    sys.exit(main())
