#!/usr/bin/env bash
# tavisto-check's command line: output forms and exit statuses.
#   check_command_test.sh PATH-TO-tavisto-check
#   check_command_test.sh wine PATH-TO-tavisto-check.exe    (also checks --machine)
# TAVISTO_EXPECTED_VERSION is the version the build was made with.
set -uo pipefail
: "${TAVISTO_EXPECTED_VERSION:?the version of the build is needed}"
check=("$@")
windows=$([[ "$1" == wine ]] && echo 1 || echo 0)
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
failures=0

expect() {  # expect DESCRIPTION EXPECTED ACTUAL
    local actual=${3//$'\r'/}  # the Windows program ends its lines with CR LF
    if [[ "$2" != "$actual" ]]; then
        echo "FAIL: $1: expected [$2], got [$3]"
        failures=$((failures + 1))
    fi
}

printf '{"meterGroups": [{"meters": [{"meterType": "pie", "width": 9, "refreshRate": 1000,\n  "colour": "#FFFFFF"}]}]}' >"$folder/warning.json"
printf '{"meterGroups": [{"meters": [\n  {"width": "ten"}]}]}' >"$folder/error.json"

output=$("${check[@]}" "$folder/warning.json"); status=$?
expect "warnings only" 0 "$status"
expect "text form" "$folder/warning.json:2:3: warning: unknown meter key \"colour\" is ignored; did you mean \"color\"? [/meterGroups/0/meters/0/colour]" "$output"

output=$("${check[@]}" "$folder/warning.json" "$folder/error.json"); status=$?
expect "an error in one of two files" 1 "$status"
expect "the error's line" "$folder/error.json:2:13: error: \"width\" must be a number, not text (the band says: [json.exception.type_error.302] type must be number, but is string) [/meterGroups/0/meters/0/width]" "$(grep error: <<<"$output")"

# Asked for German: the plain words in German, the band's own message as it is.
output=$("${check[@]}" --language de "$folder/warning.json" "$folder/error.json"); status=$?
expect "German, an error" 1 "$status"
expect "German lines" "$folder/warning.json:2:3: warning: unbekannter Schlüssel \"colour\" (Anzeige) wird ignoriert; meinten Sie \"color\"? [/meterGroups/0/meters/0/colour]
$folder/error.json:2:3: warning: die Anzeige hat keine \"refreshRate\": sie wird so oft abgefragt, wie der Zeitgeber es zulässt, was Prozessorzeit kostet [/meterGroups/0/meters/0]
$folder/error.json:2:3: warning: eine Anzeige vom Typ text ohne Zähler zeichnet nichts [/meterGroups/0/meters/0]
$folder/error.json:2:13: error: \"width\" muss eine Zahl sein, nicht Text (die Leiste meldet: [json.exception.type_error.302] type must be number, but is string) [/meterGroups/0/meters/0/width]" "$output"
message=$("${check[@]}" --language xx "$folder/warning.json" 2>&1); status=$?
expect "unknown language" 2 "$status"
expect "unknown language message" "tavisto-check: unknown language \"xx\"; the findings can be written in en, de, fr, es, pt-BR, ja, zh-CN, ko, qps-ploc" "${message%%$'\n'*}"

output=$("${check[@]}" --format json "$folder/error.json"); status=$?
expect "json form, errors" 1 "$status"
fields=$(python3 -c 'import json, sys
findings = json.load(sys.stdin)
error = [f for f in findings if f["severity"] == "error"][0]
print(error["line"], error["column"], error["code"], error["pointer"])
print(error["message"])
print(error["detail"])' <<<"$output")
expect "json fields" "2 13 type /meterGroups/0/meters/0/width
\"width\" must be a number, not text
[json.exception.type_error.302] type must be number, but is string" "$fields"

# A hotkey Tavisto.exe cannot read fails the check, though the band loads the file; a key
# that prints reversed shows the character that reverses it.
printf '{"meterGroups": [],\n  "hotkey": "Ctrl+Hyper+M", "\xe2\x80\xaenosj.exe": 1}' >"$folder/hotkey.json"
output=$("${check[@]}" "$folder/hotkey.json"); status=$?
expect "hotkey error" 1 "$status"
expect "hotkey error and escaped key" "$folder/hotkey.json:2:13: error: hotkey \"Ctrl+Hyper+M\" cannot be read: \"Hyper\" is not a modifier (Ctrl, Alt, Shift, Win); Tavisto.exe registers none [/hotkey]
$folder/hotkey.json:2:29: warning: unknown top-level key \"<U+202E>nosj.exe\" is ignored [/<U+202E>nosj.exe]" "$output"

"${check[@]}" "$folder/missing.json" 2>/dev/null; expect "unreadable file" 2 "$?"
"${check[@]}" "$folder/missing.json" "$folder/error.json" >/dev/null 2>&1
expect "unreadable file beside an error" 2 "$?"
"${check[@]}" 2>/dev/null; expect "no file" 2 "$?"
"${check[@]}" --format xml "$folder/warning.json" 2>/dev/null; expect "unknown format" 2 "$?"
"${check[@]}" --dpi 0 "$folder/warning.json" 2>/dev/null; expect "bad DPI" 2 "$?"
output=$("${check[@]}" --version); status=$?
expect "--version status" 0 "$status"
expect "--version" "tavisto-check $TAVISTO_EXPECTED_VERSION" "$output"
"${check[@]}" --version "$folder/warning.json" >/dev/null 2>&1
expect "--version with a file" 2 "$?"
if ((windows)); then
    printf '{"meterGroups": [{"meters": [{"meterType": "pie", "width": 9, "refreshRate": 1000,
  "counters": [{"counterPath": "(\\\\Processor(_Total)\\\\%% Processor Time)", "minValue": 0, "maxValue": 100},
               {"counterPath": "(\\\\Nothing Here\\\\At All)", "minValue": 0, "maxValue": 100}]}]}]}' >"$folder/machine.json"
    output=$("${check[@]}" --machine "$folder/machine.json"); status=$?
    expect "--machine, warnings only" 0 "$status"
    # The system's reason: no such object on Windows, no such counter under Wine.
    expect "--machine finds the processor, not the other, and says why" \
        "$folder/machine.json:3:33: warning: counter \\Nothing Here\\At All cannot be read on this machine: this machine has no such counter [/meterGroups/0/meters/0/counters/1/counterPath]" \
        "$(sed -E 's/ (object )?\(system code 0xC0000BB[89]\)//' <<<"$output")"
else
    message=$("${check[@]}" --machine "$folder/warning.json" 2>&1); status=$?
    expect "--machine off Windows" 2 "$status"
    expect "--machine message" "tavisto-check: --machine is only available on Windows" "$message"
fi

((failures == 0)) && echo "check_command_test: all passed"
exit $((failures > 0))
