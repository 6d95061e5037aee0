#!/usr/bin/env python3
"""examples/config.schema.json against a real validator and against herald check.

- The schema is a valid draft 2020-12 schema, and the example configs validate.
- Every broken config in tests/check-configs/ that check reports with a type
  error is rejected by the schema, at the place check names.
- For values of one key at a time, check is quiet exactly when the schema
  accepts the value: what an editor marks is what check reports.

Usage: config_schema_test.py --herald PATH/TO/herald --source REPOSITORY
"""

import argparse
import copy
import json
import pathlib
import re
import subprocess
import sys
import tempfile

import jsonschema

# The words that begin check's finding about a value of the wrong JSON type.
TYPE_ERROR = re.compile(r"\bis (?:an? )?\w+, not an? (?:boolean|number|string|object|array)\b")

# The broken configs whose type errors the schema must catch; more may join.
TYPED_CONFIGS = {"asteroids.json", "items-array.json", "not-an-object.json", "wrong-types.json", "discord.json"}

BASE = {
    "AsteroidGen2": {"Enable": False},
    "Items": {"SupplyCrate_Level03_C": {"Notification": {"Msg": "x", "Color": "0,255,0"}}},
    "Players": {},
}
NOTIFICATION = ["Items", "SupplyCrate_Level03_C", "Notification"]

# (where, value): check is quiet about each exactly when the schema accepts it.
VALUES = [
    (NOTIFICATION + ["Color"], color)
    for color in ["0,255,0", " 255 , 128,0", "007,0,0", "Random", "random", "300,0,0", "-1,0,0", "1,2,3,4",
                  "12abc,0,0", "255,,0,0", "+1,2,3", "1,2", "", "255,0,0\u0000", "Random\u0000"]
] + [
    (NOTIFICATION + ["Type"], kind) for kind in ["Notification", "Chat", "notification", "Notifcation", ""]
] + [
    (NOTIFICATION + ["Time"], time) for time in [10, 8.0, -5, 7.9, 16777216, 16777217, 33554431, 33554432,
                                          -33554436, 2147483520, 2147483647, -2147483648, 2147483648, 4294967296,
                                          1e300, True]
] + [
    (NOTIFICATION + ["Msg"], message) for message in ["{Name} at {Lat}", "a\u0000b"]
] + [
    (NOTIFICATION + ["Size"], size) for size in [1.2, True, "1"]
] + [
    (["Items", "SupplyCrate_Level03_C", "Name"], name) for name in ["Crate", "Cr\u0000ate", 3]
] + [
    (["EnableNests"], value) for value in [True, False, "yes"]
] + [
    (["$schema"], value) for value in ["config.schema.json", 5]
] + [
    (["Items", "SupplyCrate_Level03_C", "Group"], group)
    for group in ["loot", "a", "g" * 32, "g" * 33, "", "two words", "caf\u00e9", "Deep-Sea_2", 5]
] + [
    (["Players", "Command"], command)
    for command in ["/herald", "/h", "/", "herald", "/my_cmd", "/" + "c" * 32, "/" + "c" * 33, 5]
] + [
    (["Players", "Store"], store) for store in ["players.sqlite", "/srv/cluster/players.sqlite", "", "a\u0000b", 5]
] + [
    (["Players", "Enable"], enable) for enable in [True, False, "yes"]
] + [
    # The relay: an address of https://, or of http:// to this machine; groups by name, at least one.
    (["Discord"], discord) for discord in [
        {"Webhook": "https://discord.com/api/webhooks/1/abc"},
        {"Webhook": "http://127.0.0.1:8080/hook"},
        {"Webhook": "http://localhost/hook", "Groups": ["crates"], "Username": "{MapName}"},
        {"Webhook": "http://[::1]:9/hook", "Groups": ["CRATES"], "Username": "Herald of {MapName}"},
        {"Webhook": "https://user@discord.com:443/api/webhooks/1/abc?wait=true"},
        {"Webhook": "http://discord.com/api/webhooks/1/abc"},
        {"Webhook": "http://127.0.0.1.example/hook"},
        {"Webhook": "ftp://discord.com/api/webhooks/1/abc"},
        {"Webhook": "discord.com/api/webhooks/1/abc"},
        {"Webhook": "https:///api/webhooks/1/abc"},
        {"Webhook": "https://discord.com/a b"},
        {"Webhook": "https://" + "h" * 2041},
        {"Webhook": "https://" + "h" * 2040},
        {"Webhook": ""},
        {"Webhook": 5},
        {},
        {"Groups": ["crates"]},
        {"Webhook": "https://discord.com/x", "Groups": []},
        {"Webhook": "https://discord.com/x", "Groups": "crates"},
        {"Webhook": "https://discord.com/x", "Groups": ["a b"]},
        {"Webhook": "https://discord.com/x", "Groups": [5]},
        {"Webhook": "https://discord.com/x", "Username": 5},
        {"Webhook": "https://discord.com/x", "Webhok": "https://discord.com/y"},
        [],
        "https://discord.com/api/webhooks/1/abc",
    ]
] + [
    (["Colour"], "0,255,0"),
    (NOTIFICATION + ["Tmie"], 10),
]

ITEM_KEYS = ["SupplyCrate_Level03_C", "ElementNode_c", "SupplyCrate_Level03_C_5", "Foo", "SupplyCrate_Level03"]


def pointer(parts):
    return "".join("/" + str(part).replace("~", "~0").replace("/", "~1") for part in parts)


def check(herald, document):
    with tempfile.NamedTemporaryFile("w", suffix=".json", encoding="utf-8") as file:
        json.dump(document, file)
        file.flush()
        result = subprocess.run([herald, "check", file.name, "--json"], capture_output=True, text=True)
    if result.returncode not in (0, 1, 2):
        raise RuntimeError(f"herald check failed: {result.returncode} {result.stderr}")
    return [json.loads(line) for line in result.stdout.splitlines()]


def rejected_places(validator, document):
    """Where the schema rejects the document: the failing value's path, and for
    a missing required key the key's own path."""
    places = set()
    for error in validator.iter_errors(document):
        path = list(error.absolute_path)
        if error.validator == "required":
            places.update(pointer(path + [name]) for name in error.validator_value if name not in error.instance)
        else:
            places.add(pointer(path))
    return places


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--herald", required=True)
    parser.add_argument("--source", required=True)
    arguments = parser.parse_args()
    source = pathlib.Path(arguments.source)

    schema_text = (source / "examples" / "config.schema.json").read_text(encoding="utf-8")
    printed = subprocess.run([arguments.herald, "schema"], capture_output=True, text=True)
    if printed.returncode != 0 or printed.stdout != schema_text:
        print("herald schema does not print examples/config.schema.json", file=sys.stderr)
        return 1
    schema = json.loads(schema_text)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = []

    for name in ["examples/config.json", "tests/check-configs/every-feature.json"]:
        document = json.loads((source / name).read_text(encoding="utf-8"))
        for error in validator.iter_errors(document):
            failures.append(f"{name} does not validate: {pointer(error.absolute_path)}: {error.message}")

    typed = set()
    for path in sorted((source / "tests" / "check-configs").glob("*.json")):
        result = subprocess.run([arguments.herald, "check", str(path), "--json"], capture_output=True, text=True)
        findings = [json.loads(line) for line in result.stdout.splitlines()]
        type_errors = [f for f in findings if f["severity"] == "error" and TYPE_ERROR.search(f["message"])]
        if not type_errors:
            continue
        typed.add(path.name)
        places = rejected_places(validator, json.loads(path.read_text(encoding="utf-8")))
        for finding in type_errors:
            if finding["path"] not in places:
                failures.append(f"{path.name}: check reports a type error at {finding['path']!r} "
                                f"that the schema accepts (it rejects {sorted(places)})")
    if not TYPED_CONFIGS <= typed:
        failures.append(f"check reports no type error in {sorted(TYPED_CONFIGS - typed)}")

    cases = [(where, value, copy.deepcopy(BASE)) for where, value in VALUES]
    for key in ITEM_KEYS:
        document = copy.deepcopy(BASE)
        document["Items"] = {key: document["Items"].pop("SupplyCrate_Level03_C")}
        cases.append((["Items", key], document["Items"][key], document))
    for where, value, document in cases:
        parent = document
        for part in where[:-1]:
            parent = parent[part]
        parent[where[-1]] = value
        findings = check(arguments.herald, document)
        accepted = validator.is_valid(document)
        if accepted != (not findings):
            said = "; ".join(f"{f['path']}: {f['message']}" for f in findings) or "nothing"
            failures.append(f"{pointer(where)} = {value!r}: the schema {'accepts' if accepted else 'rejects'} it, "
                            f"check says {said}")

    for failure in failures:
        print("FAIL", failure)
    print(f"{len(failures)} failures; type errors caught in {sorted(typed)}; {len(cases)} values compared")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
