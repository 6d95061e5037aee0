#!/usr/bin/env python3
"""The soak scenario for herald, and the check of what herald made of it.

  make-soak-scenario.py generate SCENARIO.json EXPECTED.json [--spawns N] [--players N] [--reload-every N]
                                 [--hours H] [--wait-every N]
  make-soak-scenario.py check EXPECTED.json --pid PID [--samples MEMORY.tsv] < herald-json-transcript

generate writes a scenario of N spawns of every kind, across the maps where
each kind is special, with players joining and leaving all along (between one
and six connected, so that spells with fewer than Calm → MinPlayers come and
go), a wait of the game's time every --wait-every spawns (together --hours of
it), and a reload every --reload-every spawns, alternately of a broken file
and of a good one (two good files take turns, so a stale setting would show;
they differ in MinPlayers, in the cooldowns and in which entries cool down).

While it writes, it plays the plugin's rules itself: which spawn is
announced, which an entry's cooldown holds (and so which digest tells of it,
with what count, at which second of which wait), which is held while too few
players are connected, which is not announced at all. Beside the scenario
goes what the plugin must deliver: how often each announcement and digest
text must arrive, how many deliveries each player must get, a checksum over
every (player, text) delivery, every reply, and the account of the spawns.
The account stays small however long the scenario is: a few figures per
distinct text and per player.

After each wait the scenario asks SkyCrateHerald.Status over RCON: its reply
marks where the wait's digests end in the transcript, and its counts must be
those of the rules played here, at every wait.

check reads herald's JSON transcript from standard input while herald (PID)
runs, samples herald's resident memory meanwhile (and its peak, VmHWM),
compares the transcript with that account, and prints a summary with the
memory figures; it fails when anything differs, when a spawn is not
accounted for, when memory grew after the first tenth of the play, or when
the peak exceeds --peak-limit-mib.
"""

import argparse
import collections
import json
import re
import sys
import threading
import time
import zlib

GRID = 8000  # with the default world settings one grid step is one degree exactly


# The two good files' calm: MinPlayers, Calm → Cooldown, and the entries'
# own Cooldown (None: the key is absent, the entry takes Calm → Cooldown).
# In A only three entries cool down; in B every entry but the nest (its 0
# overrides Calm's), with other lengths.
CALM = {
    "A": {"MinPlayers": 3, "Cooldown": 0,
          "Items": {"SupplyCrate_Level03_C": 600, "ElementNode_C": 120, "SupplyCreate_OceanInstant_High_C": 900}},
    "B": {"MinPlayers": 2, "Cooldown": 240,
          "Items": {"SupplyCrate_Level03_C": 60, "Wyvern_Character_BP_Fire_C": 0, "BeaverDam_C": 1800}},
}
DIGEST = "{Count} more {Name} since the last announcement, the latest at {Lat} / {Lon}"
DIGEST_TEXT = re.compile(r"^[AB]: (\d+) more .* since the last announcement, the latest at ")
# SkyCrateHerald.Status's figures, in the order its reply gives them.
STATUS_FIGURES = ["announcements", "lines", "held_by_cooldown", "digests", "held_too_few_players",
                  "not_sent_by_choices"]
STATUS_ID = 2_000_000  # the status request after wait k has id STATUS_ID + k


def cooldown_of(variant, key):
    own = CALM[variant]["Items"].get(key)
    return CALM[variant]["Cooldown"] if own is None else own


def good_config(variant):
    """A good config.json; its texts carry the variant so the one in force shows."""

    def note(msg, **extra):
        return dict({"Msg": variant + ": " + msg}, **extra)

    config = {
        "EnableNests": True,
        "Calm": {"MinPlayers": CALM[variant]["MinPlayers"], "Cooldown": CALM[variant]["Cooldown"],
                 "Digest": variant + ": " + DIGEST},
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
    for key, cooldown in CALM[variant]["Items"].items():
        config["Items"][key]["Cooldown"] = cooldown
    return config


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


class EntryCalm:
    """An Items entry once announced: its running cooldown and what it holds."""

    def __init__(self):
        self.start = -1  # the second its cooldown started; -1: none
        self.held = 0
        self.latest = None  # (lat, lon) of the latest held spawn


class Model:
    """What the plugin must do, kept while the scenario is written: its rules played here, apart from it."""

    def __init__(self):
        self.expected = Account()
        self.rcon = collections.Counter()
        self.logs = 0
        self.last_asteroid = ""
        self.variant = "A"
        self.map = "TheIsland"
        self.connected = []
        self.clock = 0  # the timer's seconds since load
        self.entries = {}  # item key -> EntryCalm, once announced
        self.status = dict.fromkeys(STATUS_FIGURES, 0)
        # Each spawn, once: announced, held by a cooldown, held while too few
        # players were connected, or not announced (no entry, a repeated code...).
        self.spawns = collections.Counter()
        self.digested = 0  # held spawns told of in a digest, their counts summed

    def deliver(self, kind, text):
        for player in self.connected:
            self.expected.add(kind, player, text)

    def holds(self):
        calm = CALM[self.variant]
        return calm["MinPlayers"] > 0 or calm["Cooldown"] > 0 or any(v > 0 for v in calm["Items"].values())

    def too_few_players(self):
        least = CALM[self.variant]["MinPlayers"]
        return least > 0 and len(self.connected) < least

    def cooldown_left(self, key, calm):
        if calm.start < 0:
            return 0
        return max(0, calm.start + cooldown_of(self.variant, key) - self.clock)

    def announce(self, kind, text):
        self.deliver(kind, text)
        self.status["announcements"] += 1
        self.status["lines"] += len(self.connected)
        self.spawns["announced"] += 1

    def entry_spawn(self, key, kind, text, lat, lon):
        """A spawn of an Items entry, with the text of its announcement."""
        if self.holds():
            if self.too_few_players():
                self.status["held_too_few_players"] += 1
                self.spawns["held_too_few_players"] += 1
                return
            calm = self.entries.get(key)
            if calm is not None and self.cooldown_left(key, calm) > 0:
                calm.held += 1
                calm.latest = (lat, lon)
                self.status["held_by_cooldown"] += 1
                self.spawns["held_by_cooldown"] += 1
                return
        self.announce(kind, text)
        calm = self.entries.setdefault(key, EntryCalm())
        if self.holds() and cooldown_of(self.variant, key) > 0:
            calm.start = self.clock

    def asteroid_spawn(self, code, text):
        """An asteroid crate on Gen2: a code other than the last announced one is announced, cooldowns aside."""
        if code == self.last_asteroid:
            self.spawns["not_announced"] += 1
            return
        if self.holds() and self.too_few_players():
            self.status["held_too_few_players"] += 1
            self.spawns["held_too_few_players"] += 1
            return
        self.announce("notification", text)
        self.last_asteroid = code

    def nothing(self):
        self.spawns["not_announced"] += 1

    def wait(self, seconds):
        for _ in range(seconds):
            self.clock += 1
            for key, calm in self.entries.items():
                if calm.held > 0 and self.cooldown_left(key, calm) == 0:
                    kind, name = ENTRY_DELIVERY[key]
                    lat, lon = calm.latest
                    self.deliver(kind, "%s: %d more %s since the last announcement, the latest at %s / %s"
                                 % (self.variant, calm.held, name, lat, lon))
                    self.status["digests"] += 1
                    self.digested += calm.held
                    calm.start = self.clock
                    calm.held = 0

    def pending(self):
        """Held spawns whose digest has not gone out: dropped unsent at unload."""
        return sum(calm.held for calm in self.entries.values())


# How each entry is delivered, and the name its texts give it.
ENTRY_DELIVERY = {
    "SupplyCrate_Level03_C": ("notification", "White crate"),
    "SupplyCrate_Level35_C": ("notification", "Purple crate"),
    "ElementNode_C": ("chat", "Element node"),
    "ArtifactCrate_Hunter_C": ("notification", "ArtifactCrate_Hunter_C"),
    "BeaverDam_C": ("notification", "Beaver dam"),
    "Wyvern_Character_BP_Fire_C": ("notification", "Fire wyvern nest"),
    "SupplyCreate_OceanInstant_High_C": ("notification", "Ocean crate"),
}


def spawn_events(index, model):
    """One spawn, chosen by its index; gives the event and plays it on the model."""
    x_step = (index * 7) % 101 - 50
    y_step = (index * 13) % 101 - 50
    location = [x_step * GRID, y_step * GRID, 100]
    lat, lon = coordinate(y_step), coordinate(x_step)
    v = model.variant
    choice = index % 12
    serial = "_C_%d" % index

    def entry(key, text):
        model.entry_spawn(key, ENTRY_DELIVERY[key][0], text, lat, lon)

    if choice == 0:
        entry("SupplyCrate_Level03_C", "%s: White crate at %s / %s on %s" % (v, lat, lon, model.map))
        return {"event": "spawn_structure", "name": "SupplyCrate_Level03" + serial, "class": "container", "location": location}
    if choice == 1:
        entry("SupplyCrate_Level35_C", "%s: Purple crate at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "SupplyCrate_Level35" + serial, "class": "container", "location": location}
    if choice == 2:
        entry("ElementNode_C", "%s: Element node at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "ElementNode" + serial, "class": "container", "location": location}
    if choice == 3:
        entry("ArtifactCrate_Hunter_C", "%s: ArtifactCrate_Hunter_C at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "ArtifactCrate_Hunter" + serial, "class": "container", "location": location}
    if choice == 4:
        entry("BeaverDam_C", "%s: Beaver dam at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "BeaverDam" + serial, "class": "structure", "location": location}
    if choice == 5:
        level = 1 + index % 250
        entry("Wyvern_Character_BP_Fire_C", "%s: Fire wyvern nest level %d at %s / %s" % (v, level, lat, lon))
        return {"event": "spawn_structure", "name": "WyvernNest" + serial, "class": "structure", "location": location,
                "instigator": {"name": "Wyvern_Character_BP_Fire" + serial, "class": "dino", "level": level}}
    if choice == 6:
        # A nest nobody laid is looked up under its own key: not configured.
        model.nothing()
        return {"event": "spawn_structure", "name": "WyvernNest" + serial, "class": "structure", "location": location}
    if choice in (7, 8):
        code = "Metal" if (index // 24) % 3 else "Crystal"
        if model.map != "Gen2":
            model.nothing()
        elif code == "Metal":
            model.asteroid_spawn(code, "%s: Metal asteroid (Metal/Stone) on Gen2" % v)
        else:
            model.asteroid_spawn(code, "%s: Crystal asteroid (Crystal/) on Gen2" % v)
        return {"event": "spawn_structure", "name": "SupplyCrate_Space_01_" + code + serial, "class": "container",
                "location": location}
    if choice == 9:
        if model.map == "Ragnarok":
            entry("SupplyCreate_OceanInstant_High_C", "%s: Ocean crate at %s / %s" % (v, lat, lon))
        else:
            model.nothing()
        return {"event": "spawn_container", "name": "SupplyCreate_OceanInstant_High" + serial, "position": location}
    if choice == 10:
        model.nothing()
        return {"event": "spawn_structure", "name": "StorageBox_Huge" + serial, "class": "container", "location": location}
    # A structure with a hunted name that is not an item container, and
    # an object that is neither: only the first is announced (nests are on).
    if index % 24 == 11:
        entry("BeaverDam_C", "%s: Beaver dam at %s / %s" % (v, lat, lon))
        return {"event": "spawn_structure", "name": "BeaverDam" + serial, "class": "structure", "location": location}
    model.nothing()
    return {"event": "spawn_structure", "name": "BeaverDam" + serial, "class": "other", "location": location}


# How many players are connected from one change of the players to the next,
# in turn: below MinPlayers (3 in A, 2 in B) for a while, then above it again.
CONNECTED = [5, 4, 2, 1, 3, 6, 2, 4]
# The waits' lengths against their mean, in turn (the last wait takes what is left).
WAIT_SHAPE = [0.2, 1.8, 0.5, 1.5, 1.0]


def wait_lengths(total_seconds, waits):
    """Seconds of each wait, varied about their mean, together total_seconds (each 1 to 86400)."""
    mean = total_seconds / waits
    lengths = [max(1, min(86400, round(mean * WAIT_SHAPE[k % len(WAIT_SHAPE)]))) for k in range(waits - 1)]
    rest = total_seconds - sum(lengths)
    while rest > 86400:
        lengths.append(86400)
        rest -= 86400
    lengths.append(max(1, rest))
    return lengths


def generate(arguments):
    spawns, players, reload_every = arguments.spawns, arguments.players, arguments.reload_every
    wait_every = arguments.wait_every or max(1, spawns // 1000)
    model = Model()
    names = ["Player%03d" % i for i in range(players)]
    model.connected = names[:CONNECTED[0]]
    next_name = len(model.connected)
    churn_every = max(1, spawns // 500)
    churns = 0
    reloads = 0
    map_every = max(1, spawns // 40)
    waits = wait_lengths(int(arguments.hours * 3600), spawns // wait_every + 1)
    waited = 0
    status = []  # per wait: the figures SkyCrateHerald.Status must give after it

    with open(arguments.scenario, "w") as out:
        out.write('{"map": "TheIsland", "players": %s, "config": %s, "events": [\n'
                  % (json.dumps([{"name": n} for n in model.connected]), json.dumps(good_config("A"))))
        first = True

        def emit(event):
            nonlocal first
            out.write(("" if first else ",\n") + json.dumps(event, separators=(",", ":")))
            first = False

        def wait(seconds):
            nonlocal waited
            emit({"event": "wait", "seconds": seconds})
            model.wait(seconds)
            emit({"event": "rcon", "command": "SkyCrateHerald.Status", "id": STATUS_ID + len(status)})
            status.append([model.status[f] for f in STATUS_FIGURES])
            waited += seconds

        def connect():
            # The next name not connected now, in turn: a player who left comes back later.
            nonlocal next_name
            while names[next_name % players] in model.connected:
                next_name += 1
            name = names[next_name % players]
            next_name += 1
            model.connected.append(name)
            emit({"event": "connect", "player": name})

        for index in range(spawns):
            if index % map_every == 0:
                model.map = MAPS[(index // map_every) % len(MAPS)]
                emit({"event": "init_game", "map": model.map})
            if index and index % churn_every == 0:
                # One leaves, always; then as many join or leave as make the number wanted.
                churns += 1
                target = min(players, CONNECTED[churns % len(CONNECTED)])
                if len(model.connected) > 1:
                    emit({"event": "disconnect", "player": model.connected.pop(0)})
                while len(model.connected) < target:
                    connect()
                while len(model.connected) > target:
                    emit({"event": "disconnect", "player": model.connected.pop(0)})
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
            if index and index % wait_every == 0:
                wait(waits[len(status)])
            emit(spawn_events(index, model))
        for seconds in waits[len(status):]:
            wait(seconds)
        for name in model.connected:
            emit({"event": "disconnect", "player": name})
        emit({"event": "unload"})
        out.write("\n]}\n")

    # Every spawn once, and every held one told of or still held at unload.
    accounted = sum(model.spawns.values())
    assert accounted == spawns, (accounted, spawns)
    assert model.spawns["held_by_cooldown"] == model.digested + model.pending()
    expected = {
        "spawns": spawns,
        "players": players,
        "reloads": reloads,
        "deliveries": model.expected.to_json(),
        "rcon": [[t, i, n] for (t, i), n in sorted(model.rcon.items())],
        "logs": model.logs,
        "status": status,
        "accounting": {
            "announced": model.spawns["announced"],
            "held_by_cooldown": model.spawns["held_by_cooldown"],
            "told_in_digests": model.digested,
            "held_at_unload": model.pending(),
            "held_too_few_players": model.spawns["held_too_few_players"],
            "not_announced": model.spawns["not_announced"],
            "digests": model.status["digests"],
        },
        "seconds": waited,
    }
    with open(arguments.expected, "w") as out:
        json.dump(expected, out)
    total = model.expected.deliveries()
    print("%s: %d spawns, %d players, %d reloads, %d waits over %.1f hours, %d lines to deliver; spawns %s"
          % (arguments.scenario, spawns, players, reloads, len(status), waited / 3600, total,
             json.dumps(expected["accounting"])))


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
    # The digests of the wait played last: no spawn comes during a wait, so an
    # entry digests at most once in it and each text is one digest, however
    # many players it went to. The status reply after the wait closes it.
    wait_digests = set()
    told_in_digests = 0
    statuses = 0
    last_status = None
    for line in sys.stdin:
        if playing_since is None:
            playing_since = time.monotonic()
        record = json.loads(line)
        kind = record["type"]
        if kind in ("notification", "chat"):
            got.add(kind, record["player"], record["text"])
            if DIGEST_TEXT.match(record["text"]):
                wait_digests.add((kind, record["text"]))
        elif kind == "rcon_reply" and record["id"] >= STATUS_ID:
            told_in_digests += sum(int(DIGEST_TEXT.match(text).group(1)) for _, text in wait_digests)
            wait_digests.clear()
            figures = [int(n) for n in re.findall(r"\d+", record["text"])[:len(STATUS_FIGURES)]]
            index = record["id"] - STATUS_ID
            want_figures = expected["status"][index] if index < len(expected["status"]) else None
            if figures != want_figures and len(problems) < 20:
                problems.append("status after wait %d: %s, expected %s (%s): %s"
                                % (index, figures, want_figures, ", ".join(STATUS_FIGURES), record["text"]))
            statuses += 1
            last_status = dict(zip(STATUS_FIGURES, figures))
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
    if wait_digests:
        problems.append("%d digests after the last status reply" % len(wait_digests))
    if statuses != len(expected["status"]):
        problems.append("%d status replies, %d expected" % (statuses, len(expected["status"])))

    # Every spawn accounted for: announced, told of in a digest (its count),
    # still held by a cooldown at unload, held while too few players were
    # connected, or not for announcing. The digests' counts are the
    # transcript's; the plugin's own counts come from its last status reply.
    account = expected["accounting"]
    if told_in_digests != account["told_in_digests"]:
        problems.append("the digests told of %d held spawns, %d expected" % (told_in_digests, account["told_in_digests"]))
    if last_status is not None and len(last_status) == len(STATUS_FIGURES):
        for figure, want_figure in (("announcements", account["announced"]),
                                    ("held_by_cooldown", told_in_digests + account["held_at_unload"]),
                                    ("held_too_few_players", account["held_too_few_players"])):
            if last_status[figure] != want_figure:
                problems.append("the plugin counted %d %s, %d expected" % (last_status[figure], figure, want_figure))
        accounted = (last_status["announcements"] + last_status["held_by_cooldown"] +
                     last_status["held_too_few_players"] + account["not_announced"])
        if accounted != expected["spawns"]:
            problems.append("%d spawns accounted for, %d played" % (accounted, expected["spawns"]))
    else:
        problems.append("no status reply to account the spawns with")

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
        "status_replies": statuses,
        "spawns": expected["spawns"],
        "spawns_announced": None if last_status is None else last_status.get("announcements"),
        "spawns_told_in_digests": told_in_digests,
        "spawns_held_at_unload": account["held_at_unload"],
        "spawns_held_too_few_players": None if last_status is None else last_status.get("held_too_few_players"),
        "spawns_not_announced": account["not_announced"],
        "digests": None if last_status is None else last_status.get("digests"),
        "simulated_hours": round(expected["seconds"] / 3600, 2),
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
    make.add_argument("--hours", type=float, default=20.0, help="the game's time the waits take together")
    make.add_argument("--wait-every", type=int, default=0, help="spawns between two waits (default: a thousandth of them)")
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
