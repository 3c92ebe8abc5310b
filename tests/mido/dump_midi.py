#!/usr/bin/python3
"""Reads a Standard MIDI File with mido and prints what mido saw, for the end-to-end tests.

mido is a MIDI library the project did not write, so its reading is an independent check of the
files MELDRIX writes. Run it with Debian's interpreter, which has python3-mido:

    /usr/bin/python3 tests/mido/dump_midi.py FILE.mid             # every message, one per line
    /usr/bin/python3 tests/mido/dump_midi.py --summary FILE.mid   # lyric text and note counts

Output of the full dump, one item per line, every field a decimal number unless named:

    format <0|1|2>
    division <ticks per quarter note>
    tracks <count>
    track <index>                                  starts the messages of one track
    <tick> time_signature <num> <den> <clocks per click> <32nds per quarter>
    <tick> set_tempo <microseconds per quarter note>
    <tick> lyrics <byte> ...                       the text's bytes (latin-1, as stored)
    <tick> end_of_track
    <tick> note_on|note_off <channel> <note> <velocity>
    <tick> control_change <channel> <controller> <value>
    <tick> program_change <channel> <program>
    <tick> pitchwheel <channel> <pitch, -8192 to 8191>
    <tick> other <mido's own text of the message>  anything else

<tick> is the message's absolute time in its track. Exit status: 0 when mido read the file,
1 when mido refused it (the reason on standard error), 3 when mido is not installed.
"""

import sys

try:
    import mido
except ImportError:
    sys.stderr.write("mido missing: %s cannot import mido; install Debian's python3-mido "
                     "(scripts/install-deps.sh) and run this with /usr/bin/python3\n" % sys.executable)
    sys.exit(3)

CHANNEL_FIELDS = {
    "note_on": ("channel", "note", "velocity"),
    "note_off": ("channel", "note", "velocity"),
    "control_change": ("channel", "control", "value"),
    "program_change": ("channel", "program"),
    "pitchwheel": ("channel", "pitch"),
}


def describe(message):
    """The fields of one message after its tick, as printed."""
    kind = message.type
    if kind in CHANNEL_FIELDS:
        return [kind] + [str(getattr(message, field)) for field in CHANNEL_FIELDS[kind]]
    if kind == "time_signature":
        return [kind, str(message.numerator), str(message.denominator),
                str(message.clocks_per_click), str(message.notated_32nd_notes_per_beat)]
    if kind == "set_tempo":
        return [kind, str(message.tempo)]
    if kind == "lyrics":
        # mido decodes text as latin-1, which maps every byte to one character and back.
        return [kind] + [str(byte) for byte in message.text.encode("latin-1")]
    if kind == "end_of_track":
        return [kind]
    return ["other", repr(message).replace("\n", " ")]


def full_dump(midi):
    lines = ["format %d" % midi.type, "division %d" % midi.ticks_per_beat, "tracks %d" % len(midi.tracks)]
    for index, track in enumerate(midi.tracks):
        lines.append("track %d" % index)
        tick = 0
        for message in track:
            tick += message.time  # mido keeps delta times in ticks
            lines.append(" ".join([str(tick)] + describe(message)))
    return lines


def summary(midi):
    """A few lines for people: the sung text and how many notes each channel plays."""
    lines = ["format %d, %d tracks, %d ticks per quarter note"
             % (midi.type, len(midi.tracks), midi.ticks_per_beat)]
    for index, track in enumerate(midi.tracks):
        text = "".join(m.text for m in track if m.type == "lyrics")
        notes = {}
        for m in track:
            if m.type == "note_on" and m.velocity > 0:
                notes[m.channel] = notes.get(m.channel, 0) + 1
        ticks = sum(m.time for m in track)
        line = "track %d: %d ticks" % (index + 1, ticks)
        if notes:
            line += ", notes " + ", ".join("%d on channel %d" % (n, c + 1) for c, n in sorted(notes.items()))
        lines.append(line)
        if text:
            lines.append("  lyrics:")
            lines.extend("    " + row for row in text.rstrip("\r\n").replace("\r", "\n").split("\n"))
    lines.append("playing time: %.1f seconds" % midi.length)
    return lines


def main(arguments):
    wants_summary = arguments[:1] == ["--summary"]
    if wants_summary:
        arguments = arguments[1:]
    if len(arguments) != 1:
        sys.stderr.write("usage: dump_midi.py [--summary] FILE.mid\n")
        return 2
    try:
        midi = mido.MidiFile(arguments[0], clip=False)
    except Exception as error:  # mido raises many kinds; any of them is a refusal
        sys.stderr.write("mido refused %s: %s: %s\n" % (arguments[0], type(error).__name__, error))
        return 1
    sys.stdout.write("\n".join(summary(midi) if wants_summary else full_dump(midi)) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
