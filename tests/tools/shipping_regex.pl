#!/usr/bin/env perl
# Checks the regular expressions that README.md gives for log shippers: the lines of
# a log file, grouped into entries by each shipper's start pattern, split into the
# same time, module, thread, level, truncation and message as `orn log parse` gave.
# Usage: shipping_regex.pl README LOGFILE PARSED_JSON_LINES
use strict;
use warnings;
use JSON::PP;

my ($readme, $log_file, $json_file) = @ARGV;

sub slurp {  # the bytes of a file
  local (@ARGV, $/) = @_;
  return scalar <>;
}

# The text of README.md from the marker to the end of the second code block after it.
my $text = slurp($readme);
sub block_after {
  my ($marker, $count) = @_;
  my $at = index($text, "<!-- shipping: $marker -->");
  die "README.md has no marker '$marker'\n" if $at < 0;
  my $rest = substr($text, $at);
  my @blocks = $rest =~ /^```[a-z]*\n(.*?)^```$/msg;
  return join("", grep { defined } @blocks[0 .. $count - 1]);
}
my $fluent = block_after('fluent-bit', 3);
my $vector = block_after('vector', 2);
my %escapes = ('\\n' => "\n", '\\r' => "\r");

my %shippers;
($shippers{'Fluent Bit'}{entry}) = $fluent =~ /^\s*Regex\s+(.*)$/m;
($shippers{'Fluent Bit'}{start}) = $fluent =~ /"start_state"\s+"\/(.*?)\/"/;
($shippers{'Vector'}{entry}) = $vector =~ /parse_regex\(\.message, r'(.*?)'\)/;
($shippers{'Vector'}{start}) = $vector =~ /^start_pattern = '(.*)'$/m;
# Each shipper's last step: the line ends inside an entry, decoded in one pass.
($shippers{'Fluent Bit'}{decode}) = $fluent =~ /:gsub\("(.*?)", line_ends\)/;
($shippers{'Fluent Bit'}{table}) = $fluent =~ /^local line_ends = \{(.*)\}$/m;
$shippers{'Fluent Bit'}{pair} = qr/\["(.)"\] = "(.*?)"/;
($shippers{'Vector'}{decode}) = $vector =~ /\.message = replace_with\(parsed\.message, r'(.*?)'\)/;
($shippers{'Vector'}{table}) = $vector =~ /^line_ends = \{(.*)\}$/m;
$shippers{'Vector'}{pair} = qr/"(.)": "(.*?)"/;
die "Vector: the module is not decoded\n" unless $vector =~ /\.module = replace_with\(parsed\.module, r'\Q$shippers{'Vector'}{decode}\E'\)/;
die "Fluent Bit: the module is not decoded\n" unless $fluent =~ /"module", "message"/;

# Split at LF only, as shippers read: a CRLF file's lines keep their CR.
my @lines = split(/\n/, slurp($log_file), -1);
pop @lines if @lines && $lines[-1] eq '';
my @parsed = map { decode_json($_) } grep { /\S/ } split(/\r?\n/, slurp($json_file));
my %header = map { $_ => 1 } ('Orn Library: Generic Logging Routines', '2001-08-16, v1.01.03', '');
my %level_names = ('**ERROR**' => 'error', '*WARNING*' => 'warning');
my $failures = 0;

sub differs {
  my ($what, $got, $want) = map { defined $_ ? $_ : '(none)' } @_;
  return 0 if $got eq $want;
  print "$what: got '", substr($got, 0, 120), "', expected '", substr($want, 0, 120), "'\n";
  return 1;
}

for my $name (sort keys %shippers) {
  my ($entry_re, $start_re, $decode, $table, $pair) = @{$shippers{$name}}{qw(entry start decode table pair)};
  die "$name: expressions not found in README.md\n"
    unless defined $entry_re && defined $start_re && defined $decode && defined $table;
  my %line_ends;
  while ($table =~ /$pair/g) { my ($code, $end) = ($1, $2); $line_ends{$code} = $end =~ s/(\\[nr])/$escapes{$1}/gr; }
  my $decoded = sub { my ($text) = @_; defined $text ? $text =~ s/$decode/$line_ends{$1}/gr : $text };
  # A record starts at each line that matches the start pattern; every other line
  # joins the record before it, and lines before the first record stand alone.
  my @records;
  my $open = 0;
  for my $line (@lines) {
    if ($line =~ $start_re) { push @records, $line; $open = 1; }
    elsif ($open) { $records[-1] .= "\n$line"; }
    else { push @records, $line; }
  }
  my $index = 0;
  for my $record (@records) {
    if ($record !~ $entry_re) {
      $failures += differs("$name: unmatched record", $record, 'a header line')
        unless $header{$record =~ s/\r$//r};
      next;
    }
    my %got = %+;
    my $want = $parsed[$index++];
    my $where = "$name, entry $index";
    if (!defined $want) { print "$where: more records than orn log parse gave\n"; $failures++; next; }
    my ($y, $mo, $d, $h, $mi, $s) = $got{time} =~ m{^(\d+)/(\d+)/(\d+) (\d+):(\d+)\.(\d+)$};
    $failures += differs("$where time", "$y-$mo-${d}T$h:$mi:$s", $want->{time});
    $failures += differs("$where module", $decoded->($got{module}), $want->{module});
    $failures += differs("$where thread", $got{thread} + 0, $want->{thread});
    $failures += differs("$where level", defined $got{level} ? $level_names{$got{level}} : undef,
                         $want->{level});
    $failures += differs("$where truncated", (defined $got{truncated} && $got{truncated} ne '') ? 1 : 0,
                         $want->{truncated} ? 1 : 0);
    # Blank lines after an entry are dropped, and with them the line end a dump ends in.
    # A dump's body keeps a CRLF file's line ends, which the README says to replace.
    my $message = $decoded->($got{message});
    $message =~ s/\r\n/\n/g if $want->{dump};
    $failures += differs("$where message", $message,
                         $want->{dump} ? $want->{message} =~ s/\n+\z//r : $want->{message});
  }
  if ($index != @parsed) { print "$name: $index records, orn log parse gave ", scalar @parsed, "\n"; $failures++; }
}
exit($failures == 0 ? 0 : 1);
