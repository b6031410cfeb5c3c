#!/usr/bin/env tclsh
# Drives the engine with Scid's own engine module (enginecomm.tcl from Debian's scid package),
# headless under tclsh: the code behind Scid's analysis window, without the window.
#
# What Scid does with an engine: the "uci" handshake and option list, setoption and
# "isready", "ucinewgame", then an analysis ("go infinite") that the user stops, and a search
# with a depth limit. The script checks that every step gets its reply, that the info lines
# parse into principal variations, and how long the engine takes to answer "stop".
#
#   tclsh tools/gui/scid-analysis.tcl [ENGINE] [SECONDS_OF_ANALYSIS]
#
# Needs scid (apt-get install --no-install-recommends scid). Exit status 0 on success.

set root [file dirname [file dirname [file dirname [file normalize [info script]]]]]
set engine [file normalize [expr {$argc > 0 ? [lindex $argv 0] : "$root/build/vantorel"}]]
set analysis_ms [expr {$argc > 1 ? int([lindex $argv 1] * 1000) : 2000}]
set scid_engine_module /usr/share/scid/tcl/enginecomm.tcl
if {![file exists $scid_engine_module]} {
    puts "$scid_engine_module is missing: apt-get install --no-install-recommends scid"
    exit 1
}
# Scid defines the ::uci namespace elsewhere, before loading this module.
namespace eval uci {}
source $scid_engine_module

set failures 0
proc check {what ok} {
    puts "[expr {$ok ? "PASS" : "FAIL"}] $what"
    if {!$ok} { incr ::failures }
}
proc now {} { clock milliseconds }

# Scid's replies to its GUI arrive here, one message at a time.
set pv_count 0
set last_pv {}
proc on_reply {msg} {
    lassign $msg kind data
    switch $kind {
        InfoConfig {
            set ::options [lindex $data 2]
            set ::event config
        }
        InfoReady { set ::event ready }
        InfoGo {}
        InfoPV {
            incr ::pv_count
            set ::last_pv $data
        }
        InfoDisconnected { set ::event disconnected }
    }
}
set received {}
proc on_recv {line} {
    lappend ::received $line
    if {[string match "bestmove*" $line]} {
        set ::bestmove $line
        set ::event bestmove
    }
}
proc wait_for {what timeout_ms} {
    set timer [after $timeout_ms {set ::event timeout}]
    vwait ::event
    after cancel $timer
    return [expr {$::event eq $what}]
}

::engine::setLogCmd 1 on_recv {}
set start [now]
::engine::connect 1 on_reply $engine {} uci
check "handshake: uci ... uciok" [wait_for config 10000]
puts "  uciok after [expr {[now] - $start}] ms; options: [join [lmap o $::options {lindex $o 0}] {, }]"

::engine::send 1 SetOptions {{Hash 32}}
check "setoption Hash, isready ... readyok" [wait_for config 5000]
::engine::send 1 NewGame {analysis post_pv}
check "ucinewgame, isready ... readyok" [wait_for ready 5000]

# Analysis as Scid's window runs it: "go infinite", later "stop".
set fen "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"
::engine::send 1 Go [list "position fen $fen" {}]
after $analysis_ms {set ::event analysed}
vwait ::event
set pvs_before_stop $pv_count
set stop_sent [now]
::engine::send 1 StopGo
check "analysis stopped: stop ... bestmove" [wait_for ready 10000]
puts "  bestmove [expr {[now] - $stop_sent}] ms after stop; $pvs_before_stop info lines,\
      last: depth [lindex $last_pv 1] score [lindex $last_pv 9] [lindex $last_pv 8]\
      pv [lindex $last_pv 11]"
check "analysis gave principal variations" [expr {$pvs_before_stop > 0 && [lindex $last_pv 11] ne ""}]

# A search with a depth limit from the start position.
set pv_count 0
::engine::send 1 Go [list "position startpos moves e2e4 e7e5" {{depth 8}}]
check "go depth 8 ... bestmove" [wait_for bestmove 60000]
check "one info line per depth" [expr {$pv_count == 8 && [lindex $last_pv 1] == 8}]
puts "  $bestmove; depth [lindex $last_pv 1] nodes [lindex $last_pv 3] pv [lindex $last_pv 11]"

set pid [::engine::pid 1]
::engine::close 1
after 500
check "engine gone after quit" [catch {exec kill -0 $pid}]
puts "$failures failed"
exit [expr {$failures > 0}]
