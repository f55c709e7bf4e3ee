// Record TITLE [SECONDS]: records the window titled TITLE through bridge-host.exe beside
// this program and prints where the recording went. It reads only what bridge-host keeps
// stable (docs/protocol.md, "Compatibility"); the exit code is its own. .NET 5 or later.
using System; using System.Diagnostics; using System.Globalization; using System.IO;
using System.Text; using System.Threading;

static class Record {
    static int Main(string[] args) {
        if (args.Length < 1) { Console.Error.WriteLine("usage: Record TITLE [SECONDS]"); return 2; }
        var start = new ProcessStartInfo(Path.Combine(AppContext.BaseDirectory, "bridge-host.exe")) {
            UseShellExecute = false, RedirectStandardInput = true, RedirectStandardOutput = true,
            StandardOutputEncoding = new UTF8Encoding(false) };  // what bridge-host writes to a pipe
        // ArgumentList quotes each argument as bridge-host's C runtime reads it back.
        foreach (var a in new[] { "record", "--title", args[0], "--until-enter" }) start.ArgumentList.Add(a);
        using var host = Process.Start(start);
        string line, saved = null;
        while ((line = host.StandardOutput.ReadLine()) != null && line != "startcapture") { }
        if (line != null) {  // recording: wait, then Enter stops it
            // "2.5" is two and a half seconds whatever the user's language.
            Thread.Sleep(TimeSpan.FromSeconds(args.Length > 1 ? double.Parse(args[1], CultureInfo.InvariantCulture) : 5));
            host.StandardInput.WriteLine();
        }
        while ((line = host.StandardOutput.ReadLine()) != null)
            if (line.StartsWith("saved: ")) saved = line.Substring("saved: ".Length);
        host.WaitForExit();  // 3: complete, but shorter than asked
        if ((host.ExitCode == 0 || host.ExitCode == 3) && saved != null) Console.WriteLine("recording: " + saved);
        return host.ExitCode;
    }
}
