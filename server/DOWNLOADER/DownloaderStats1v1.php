<?php
// Appends the record in Text as one line to stats/<Subor> and confirms with
// exactly " Saved". Anyone can send this request, so it writes nothing but a
// record-sized line of text into an hour file, and stops at a size limit.

declare(strict_types=1);
require __DIR__ . '/../lib/downloader.php';

// The longest record a client sends: "dd.mm.yyyy hh:mm:ss" (19), "*", the
// adapter address (17), "*", the descriptor text, "*2.0*" (5). A key field
// holds at most 4096 characters, 2048 pairs; a pair of value 1000 or more
// writes four digits instead of three, so the codes read three at a time
// give at most 8192 / 3 = 2730 characters of descriptor text.
const KD_LONGEST_RECORD = 19 + 1 + 17 + 1 + 2730 + 5;

header('Content-Type: text/plain');
$subor = $_GET['Subor'] ?? null;
$text = $_GET['Text'] ?? null;
// Only an hour file, yyyymmddhh.txt: no other name, and nothing a web server
// would run, can be made.
if (!kd_registered() || !is_string($subor) || preg_match('/^[0-9]{10}\.txt$/D', $subor) !== 1
    || !is_string($text) || strlen($text) > KD_LONGEST_RECORD) {
    echo 'Error';
    exit;
}

// One record, one line, whatever the record holds: control bytes (line ends,
// NUL, ...) become blanks; a client's record has none.
$line = preg_replace('/[\x00-\x1F\x7F]/', ' ', $text) . "\n";
$root = kd_private_folder(kd_stats_root());
$limit = kd_stats_limit();
if ($root === null || $limit === null || kd_folder_size($root) + strlen($line) > $limit) {
    echo 'Error';
    exit;
}
// Many PHP workers append to the same hour file at once: each writes its
// whole line in one write while it holds the file's exclusive lock, so lines
// never interleave. (Workers that check the limit together may pass it by a
// line each.)
$handle = @fopen($root . '/' . $subor, 'ab');
$saved = false;
if ($handle !== false) {
    if (flock($handle, LOCK_EX)) {
        $saved = fwrite($handle, $line) === strlen($line) && fflush($handle);
        flock($handle, LOCK_UN);
    }
    fclose($handle);
}
echo $saved ? ' Saved' : 'Error';
