<?php
// Appends the record in Text as one line to stats/<Subor> and confirms with
// exactly " Saved".

declare(strict_types=1);
require __DIR__ . '/../lib/downloader.php';

header('Content-Type: text/plain');
$subor = $_GET['Subor'] ?? null;
$text = $_GET['Text'] ?? null;
if (!kd_registered() || !is_string($subor) || !kd_plain_name($subor) || !is_string($text)) {
    echo 'Error';
    exit;
}

$root = kd_stats_root();
if (!is_dir($root)) {
    @mkdir($root, 0777, true);
}
// One record, one line, whatever the record holds.
$line = str_replace(["\r", "\n"], ' ', $text) . "\n";
if (@file_put_contents($root . '/' . $subor, $line, FILE_APPEND | LOCK_EX) === false) {
    echo 'Error';
    exit;
}
echo ' Saved';
